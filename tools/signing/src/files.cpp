#include <kysign/sign.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kysign {

bool ReadWholeFile(const std::string& path, Bytes* bytes, std::string* error) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot open " + path + ": " + strerror(errno);
        return false;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        *error = path + " is not a regular file";
        return false;
    }
    bytes->clear();
    uint8_t chunk[65536];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = "cannot read " + path + ": " + strerror(errno);
            close(fd);
            return false;
        }
        if (n == 0) break;
        bytes->insert(bytes->end(), chunk, chunk + n);
    }
    close(fd);
    return true;
}

bool WriteFileReplacing(const std::string& path, const Bytes& bytes, const std::string& modeFrom,
                        std::string* error) {
    std::string temp = path + ".kysign-XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        *error = "cannot create a temporary file beside " + path + ": " + strerror(errno);
        return false;
    }
    // The signed file keeps the permissions of the file it came from.
    struct stat info;
    mode_t mode = 0644;
    if (stat(modeFrom.c_str(), &info) == 0) mode = info.st_mode & 07777;
    bool ok = fchmod(fd, mode) == 0;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    if (ok && rename(name.data(), path.c_str()) != 0) ok = false;
    if (!ok) {
        *error = "cannot write " + path + ": " + strerror(errno);
        unlink(name.data());
    }
    return ok;
}

bool ReadSeedFile(const std::string& path, uint32_t* seed, std::string* error) {
    FILE* f = fopen(path.c_str(), "r");
    if (f == nullptr) {
        *error = "cannot open the seed file " + path + ": " + strerror(errno);
        return false;
    }
    unsigned long value = 0;
    int n = fscanf(f, " 0x%lx", &value);
    fclose(f);
    if (n != 1 || value > 0xFFFFFFFFul) {
        *error = "the seed file " + path + " holds no 32-bit hexadecimal number";
        return false;
    }
    *seed = static_cast<uint32_t>(value);
    return true;
}

}  // namespace kysign
