#include "screens/MyTabbarViewController.h"

void MyTabbarViewController::viewDidLoad() { UITabBarController::viewDidLoad(); }

void MyTabbarViewController::didReceiveMemoryWarning() { UITabBarController::didReceiveMemoryWarning(); }
