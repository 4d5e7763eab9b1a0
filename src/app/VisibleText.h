// Texts from the update list or the disk as a message box shows them.
#pragma once

#include <string>

// Control characters written as visible escapes (\x01; a NUL would end the box's text
// there), every other byte as it is.
std::string VisibleText(const std::string& text);

// A long path cut in its middle, so that the box still shows where it starts and ends.
std::string ShortenedForBox(const std::string& text);
