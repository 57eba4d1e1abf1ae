#include "support/TestFiles.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

CTempDir::CTempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tavro-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = tmpl;
}

CTempDir::~CTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

void WriteBytes(const std::string& strPath, const std::vector<uint8_t>& data) {
    std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()),
              static_cast<std::streamsize>(data.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + strPath);
    }
}

std::vector<uint8_t> ReadBytes(const std::string& strPath) {
    std::ifstream in(strPath, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string DataDir() {
    const char* env = std::getenv("TAVRO_DATA_DIR");
    std::string dir = env && *env ? env : TAVRO_DATA_DIR;
    return std::filesystem::is_directory(dir) ? dir : std::string();
}

std::string DataFile(const std::string& strName) {
    std::string dir = DataDir();
    if (dir.empty()) {
        return {};
    }
    auto path = std::filesystem::path(dir) / strName;
    return std::filesystem::exists(path) ? path.string() : std::string();
}
