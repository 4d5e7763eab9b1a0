// A whole file read into memory through the platform's exclusive open.
#pragma once

#include <string>

enum class FileRead {
    Whole,
    Unreadable, // cannot be opened, sized or read whole
    Raised,     // an error was raised while the file was read (a buffer that cannot be had)
};

// The file's bytes into text, as many as were read; tells whether that was the whole file.
// Shows nothing.
FileRead ReadFileBytes(const std::string& path, std::string& text);
