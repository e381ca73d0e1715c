#include "screens/GeneralViewController.h"

void GeneralViewController::viewDidLoad() { UIViewController::viewDidLoad(); }

void GeneralViewController::didReceiveMemoryWarning() { UIViewController::didReceiveMemoryWarning(); }
