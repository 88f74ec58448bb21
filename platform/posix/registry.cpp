// The registry stand-in: an INI file, read afresh each time a key opens.
#include "platform/registry.h"

#include "platform/platform.h"

#include <strings.h>

#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <string>

namespace plat {
namespace reg {

namespace {

struct NoCase {
    bool operator()(const std::string& a, const std::string& b) const { return strcasecmp(a.c_str(), b.c_str()) < 0; }
};

using Values = std::map<std::string, std::string, NoCase>;

std::string trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return std::string();
    std::size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string registryFile() {
    std::string path;
    if (getEnv("VORN_REGISTRY_FILE", path) && !path.empty()) return path;
    return "/etc/vornodbc/registry.ini";
}

}  // namespace

void* openMachineKey(const char* path) {
    if (!path) return nullptr;
    std::ifstream in(registryFile());
    if (!in) return nullptr;
    auto* values = new (std::nothrow) Values();
    if (!values) return nullptr;
    bool inKey = false, found = false;
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            inKey = strcasecmp(trim(line.substr(1, line.size() - 2)).c_str(), path) == 0;
            found = found || inKey;
            continue;
        }
        std::size_t eq = line.find('=');
        if (inKey && eq != std::string::npos) (*values)[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
    }
    if (!found) {
        delete values;
        return nullptr;
    }
    return values;
}

void closeKey(void* key) { delete static_cast<Values*>(key); }

bool valueSize(void* key, const char* name, std::size_t& size) {
    if (!key || !name) return false;
    auto* values = static_cast<Values*>(key);
    auto it = values->find(name);
    if (it == values->end()) return false;
    size = it->second.size() + 1;
    return true;
}

bool readString(void* key, const char* name, char* buffer, std::size_t size) {
    std::size_t need = 0;
    if (!buffer || !valueSize(key, name, need) || need > size) return false;
    const std::string& v = static_cast<Values*>(key)->find(name)->second;
    std::memcpy(buffer, v.c_str(), need);
    return true;
}

}  // namespace reg
}  // namespace plat
