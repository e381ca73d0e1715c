#pragma once
// The device screen's classes, for headers that only pass them along.
class DeviceFrameStore;
class DeviceInput;
class DeviceInputTarget;
class DeviceDefaultInputTarget;
class DeviceKeyInput;
class DeviceScene;
class DeviceScreen;
class DeviceScreenApi;
class DeviceScreenServer;
class DeviceTree;
struct DeviceFrame;
struct DeviceScreenPainters;
struct DeviceScreenServerOptions;
struct DeviceViewFacts;
