#pragma once
// Saving what a window shows: a save chooser that suggests a file name, and a
// write through the safe writer that reports failures in an "Error" message.

#include <QImage>
#include <string>

// Asks where to save a file of type strExt ("png", "csv"), offering
// strSuggestedName. False on Cancel.
bool AskSavePath(const std::string& strExt, const std::string& strSuggestedName,
                 std::string& strPath);
// Writes the bytes, or the picture as PNG, to strPath; false after an "Error"
// message naming the file when that fails (nothing is left behind).
bool WriteOutputFile(const std::string& strPath, const void* pData, uint64_t nBytes);
bool WritePng(const QImage& image, const std::string& strPath);
