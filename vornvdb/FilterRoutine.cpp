// Local filter routines: an Export or Import marked for local handling is
// served by a routine of a filter library listed under the registry value
// USRSHR, instead of by the server.
#include "vornvdb/VdbApi.h"

#include "platform/dynlib.h"
#include "platform/registry.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kKeys[] = {"SOFTWARE\\Kalmoventis\\VORNclient", "SOFTWARE\\Kalmoventis\\VORN@client"};

using FilterProc = std::int32_t (*)(XmlRequest*, HVDB);

void setMessage(XmlRequest* record, const char* text) {
    std::memset(record->message, 0, sizeof record->message);
    std::strncpy(record->message, text, sizeof record->message - 1);
}

// The USRSHR list from the first key that has it; false when neither has.
bool readLibraryList(std::string& list) {
    for (const char* path : kKeys) {
        void* key = plat::reg::openMachineKey(path);
        std::size_t size = 0;
        if (!key) continue;
        if (!plat::reg::valueSize(key, "USRSHR", size)) {
            plat::reg::closeKey(key);
            continue;
        }
        std::vector<char> buffer(size + 1, '\0');
        bool ok = plat::reg::readString(key, "USRSHR", buffer.data(), buffer.size());
        plat::reg::closeKey(key);
        if (!ok) return false;
        list = buffer.data();
        return true;
    }
    return false;
}

}  // namespace

std::int32_t RunFilterRoutine(XmlRequest* record, HVDB handle) {
    return VdbGuard([&]() -> std::int32_t {
        if (!record) return 0;
        std::string list;
        if (!readLibraryList(list)) {
            record->status = 0;
            setMessage(record, "No filter libraries configured (registry value USRSHR).");
            return 2;
        }
        std::string name(record->command, strnlen(record->command, sizeof record->command));
        std::string decorated = "_" + name + "@8";

        void* library = nullptr;
        FilterProc routine = nullptr;
        std::int32_t lastResult = 1;
        std::size_t start = 0;
        while (!routine && start <= list.size()) {
            std::size_t end = list.find(';', start);
            if (end == std::string::npos) end = list.size();
            std::string piece = list.substr(start, end - start);
            start = end + 1;
            if (piece.empty()) continue;
            library = plat::loadLibrary(piece.c_str());
            if (!library) {
                lastResult = 4;
                continue;
            }
            void* sym = plat::findSymbol(library, name.c_str());
            if (!sym) sym = plat::findSymbol(library, decorated.c_str());
            if (sym) {
                routine = reinterpret_cast<FilterProc>(sym);
                lastResult = 1;
            } else {
                plat::freeLibrary(library);
                library = nullptr;
                lastResult = 6;
            }
        }

        std::int32_t status;
        if (routine) {
            status = routine(record, handle);
        } else {
            setMessage(record, "Filter routine not found.");
            status = (lastResult & 1) ? 6 : lastResult;
            record->status = static_cast<std::uint32_t>(status);
        }
        // Loaded again for the next request: no filter stays in memory.
        if (library) plat::freeLibrary(library);
        return status;
    });
}
