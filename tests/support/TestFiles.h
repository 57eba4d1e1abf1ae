#pragma once
// Temporary folders and files for tests, and the location of the real clips.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A fresh folder removed with everything in it when the object goes away.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    const std::filesystem::path& Path() const { return m_path; }
    std::string File(const std::string& strName) const { return (m_path / strName).string(); }

private:
    std::filesystem::path m_path;
};

void WriteBytes(const std::string& strPath, const std::vector<uint8_t>& data);
std::vector<uint8_t> ReadBytes(const std::string& strPath);

// Folder with the real camera clips; empty when it is not there (tests skip).
std::string DataDir();
// Full path of a clip in DataDir(), or empty when absent.
std::string DataFile(const std::string& strName);
