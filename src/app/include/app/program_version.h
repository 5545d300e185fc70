#pragma once
// The program's one version number, set by the build (the project's version): the window's
// caption, the about box and `lumivox-cli --version` all show it.

// "0.6".
const char* programVersion();
