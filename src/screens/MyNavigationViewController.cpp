#include "screens/MyNavigationViewController.h"

void MyNavigationViewController::viewDidLoad() { UINavigationController::viewDidLoad(); }

void MyNavigationViewController::didReceiveMemoryWarning() { UINavigationController::didReceiveMemoryWarning(); }
