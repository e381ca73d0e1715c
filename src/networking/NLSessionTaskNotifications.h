#pragma once
// The notifications a URL-session manager posts on the main queue for its own
// tasks, each with the task as object: resumed, suspended, and completed (the
// completion's user info as the session manager describes it).
inline constexpr const char* NLNetworkingTaskDidResumeNotification = "com.netline.networking.task.resume";
inline constexpr const char* NLNetworkingTaskDidSuspendNotification = "com.netline.networking.task.suspend";
inline constexpr const char* NLNetworkingTaskDidCompleteNotification = "com.netline.networking.task.complete";
