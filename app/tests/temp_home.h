// temp_home: a throw-away application home folder with its "html" folder, removed at scope exit.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>

class TempHome {
public:
    TempHome() {
        char dir[] = "/tmp/veltrano_home_XXXXXX";
        path_ = mkdtemp(dir) != nullptr ? dir : "/nonexistent";
        mkdir((path_ + "/html").c_str(), 0755);
    }
    ~TempHome() { std::system(("rm -rf " + path_).c_str()); }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path_ + "/html/" + name, std::ios::binary) << text;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};
