#include "screens/AboutAppViewController.h"

void AboutAppViewController::viewDidLoad() { UIViewController::viewDidLoad(); }

void AboutAppViewController::didReceiveMemoryWarning() { UIViewController::didReceiveMemoryWarning(); }
