// How the program's application object is set up; the program and its tests share it.
#pragma once

namespace kvel {

// Call once the QApplication exists. No application display name is set: the window system
// would append it to every window title, and the titles are the forms' captions as they stand.
void ConfigureApplication();

} // namespace kvel
