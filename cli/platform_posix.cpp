#include "platform.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace platform {
namespace {

bool EndsInNod(const char* name)
{
    const std::size_t length = std::strlen(name);
    return length >= 4 && strcasecmp(name + length - 4, ".nod") == 0;
}

void WriteAll(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written <= 0)
            return;  // a closed or full output: nothing better to do with it
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

void Walk(const std::string& folder, const std::string& below, std::vector<std::string>& found,
          std::vector<std::string>& unreadable)
{
    const std::string path = below.empty() ? folder : folder + "/" + below;
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
        unreadable.push_back(below);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        const std::string child = below.empty() ? name : below + "/" + name;
        // The entry's own type saves a stat per file where the file system gives it.
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (::lstat((folder + "/" + child).c_str(), &st) != 0)
                continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
        }
        if (type == DT_DIR)
            Walk(folder, child, found, unreadable);
        else if (type == DT_REG && EndsInNod(name))
            found.push_back(child);
    }
    ::closedir(dir);
}

}  // namespace

void Init() {}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void FindNodFiles(const std::string& folder, std::vector<std::string>& found,
                  std::vector<std::string>& unreadable)
{
    Walk(folder, "", found, unreadable);
}

bool ExpandWildcards(const std::string&, std::vector<std::string>&) { return false; }

void WriteOut(std::string_view text) { WriteAll(STDOUT_FILENO, text); }
void WriteErr(std::string_view text) { WriteAll(STDERR_FILENO, text); }

}  // namespace platform
