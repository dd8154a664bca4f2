// A private temporary folder for one test, removed with everything in it
// when the object goes out of scope.
#ifndef NORVANE_TESTS_SUPPORT_TEMPDIR_H
#define NORVANE_TESTS_SUPPORT_TEMPDIR_H

#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + name
    std::string file(const std::string& name) const;
    // Writes bytes to a file in the folder (created or replaced).
    void write(const std::string& name, const std::string& bytes) const;
    // The bytes of a file in the folder; empty when it cannot be read.
    std::string read(const std::string& name) const;

private:
    std::string m_path;
};

// Changes the working folder for the lifetime of the object.
class ScopedChdir {
public:
    explicit ScopedChdir(const std::string& path);
    ~ScopedChdir();
    ScopedChdir(const ScopedChdir&) = delete;
    ScopedChdir& operator=(const ScopedChdir&) = delete;

private:
    std::string m_previous;
};

#endif
