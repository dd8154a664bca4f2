#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <unistd.h>

TempDir::TempDir()
{
    const char* pszBase = getenv("TMPDIR");
    std::string pattern = std::string(pszBase != nullptr && *pszBase ? pszBase : "/tmp") + "/norvane-test-XXXXXX";
    std::string buffer = pattern;
    if (mkdtemp(buffer.data()) == nullptr)
        ADD_FAILURE() << "mkdtemp failed for " << pattern;
    m_path = buffer;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::file(const std::string& name) const { return m_path + "/" + name; }

void TempDir::write(const std::string& name, const std::string& bytes) const
{
    std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempDir::read(const std::string& name) const
{
    std::ifstream in(file(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ScopedChdir::ScopedChdir(const std::string& path)
{
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer) != nullptr)
        m_previous = buffer;
    if (chdir(path.c_str()) != 0)
        ADD_FAILURE() << "chdir failed for " << path;
}

ScopedChdir::~ScopedChdir()
{
    if (!m_previous.empty() && chdir(m_previous.c_str()) != 0)
        ADD_FAILURE() << "chdir back failed for " << m_previous;
}
