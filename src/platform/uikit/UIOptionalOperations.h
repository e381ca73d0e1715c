#pragma once
// Which optional operations the running system's objects answer, decided by the
// system-version switch (UISystemVersion) and nothing else. Code that would ask
// an object whether it responds to an operation asks here (or the object's own
// respondsTo... accessor, which answers the same).
//
// From 7.0: views and windows answer setTintAdjustmentMode:, view controllers
// answer preferredContentSize / setPreferredContentSize: and
// setEdgesForExtendedLayout:. From 8.0: the process-information object answers
// operatingSystemVersion (and windows rotate their coordinates with the
// interface).
bool UIViewRespondsToTintAdjustmentMode();
bool UIViewControllerRespondsToPreferredContentSize();
bool UIViewControllerRespondsToEdgesForExtendedLayout();
bool NSProcessInfoRespondsToOperatingSystemVersion();
