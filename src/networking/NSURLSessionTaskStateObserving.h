#pragma once
// Process-wide announcements of session-task state changes: every task of
// every session posts "com.netline.networking.nsurlsessiontask.resume" when a
// resume() moved it from suspended to running, and
// "com.netline.networking.nsurlsessiontask.suspend" when a suspend() moved it
// from running to suspended, with the task as object, synchronously on the
// thread that called resume() or suspend(). A call that changes nothing (a
// running task resumed, a suspended one suspended, a cancelling or completed
// task either way) posts nothing, so observers that count running requests
// never count a task that cannot end again.
//
// The announcements come from the task hook list (NSURLSessionTask.h),
// installed once: when this file is linked into the program (as it is with the
// URL-session manager) at load time, and again harmlessly by every session
// manager made. Any thread may call the installer.
inline constexpr const char* NLNetworkingSessionTaskDidResumeNotification =
    "com.netline.networking.nsurlsessiontask.resume";
inline constexpr const char* NLNetworkingSessionTaskDidSuspendNotification =
    "com.netline.networking.nsurlsessiontask.suspend";

// Adds the two hooks, once per process.
void NLInstallSessionTaskStateObserving();
