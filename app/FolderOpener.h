#pragma once
// Whether the desktop can show a folder in a file manager, told before asking it: the desktop's
// opener (xdg-open) hands a folder to the program that declares it opens "inode/directory" and
// says nothing when there is none, so a missing file manager has to be found beforehand.

#include <QString>

// Why no folder can be shown, in words for the user ("no file manager is installed (...)"); empty
// when the opener is there and an installed program declares that it opens folders.
QString WhyNoFileManager();
