#pragma once
// The storyboard "Main": the application's scenes, registered once at start-up
// (main thread) before the first window is made. The splash screen is its
// initial scene.
inline constexpr const char* kMainStoryboardName = "Main";

void registerMainStoryboard();

// The scenes of each group of screens; registerMainStoryboard calls them all.
void registerShellScenes();   // tab bar, navigation controllers, splash, about, cells
void registerPickerScenes();  // sort, genre and stream pickers
void registerDetailScenes();  // the detail page, phone and tablet
void registerGridScenes();    // movie grid, TV-show grid, search
void registerLibraryScenes(); // downloads and favourites
