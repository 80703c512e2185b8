#pragma once

// Registers the window class that dialog templates use for hosted ActiveX
// controls, so templates that contain one can be created.
bool AxHostInit();
