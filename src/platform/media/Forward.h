#pragma once
// The media stand-in's classes, for headers that only pass pointers.
class AVAudioSession;
class MPMoviePlayerController;
class MPMoviePlayerViewController;
