// kit_fake_server: the scripted server as a program of its own, for clients
// that cannot run in the test process (the Windows kit under Wine). Each
// connection gets the same conversation: a start for user "wine", one
// Export of "execsql", the end.
//
//   kit_fake_server --port-file FILE [--connections N]
//
// Writes the chosen port to FILE once it listens; exits 0 when every
// connection followed the script, 1 otherwise (the mismatches on stderr).
// Part of tests/support, so built into the unit tests too: only the
// program's own build defines VORN_FAKE_SERVER_MAIN.
#ifdef VORN_FAKE_SERVER_MAIN

#include "support/fake_server.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using vorntest::TakeShort;

int main(int argc, char** argv) {
    const char* portFile = nullptr;
    int connections = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--port-file")) portFile = argv[i + 1];
        if (!std::strcmp(argv[i], "--connections")) connections = std::atoi(argv[i + 1]);
    }
    if (!portFile) {
        std::fprintf(stderr, "usage: %s --port-file FILE [--connections N]\n", argv[0]);
        return 2;
    }

    CPACKET answer;
    answer.AppendU32(21).AppendU32(22).AppendU32(23);
    answer.AppendLongItem(CLSTRING("<result rows=\"1\"/>"));
    answer.AppendLongItem(CLSTRING("note"));
    answer.AppendU32(1).AppendU32(0).AppendShortItem(CSTRING("done"));

    vorntest::FakeServer srv;
    srv.expect('T', 110,
               [](CPACKET& a, std::vector<std::string>& f) {
                   if (TakeShort(a) != "wine") f.push_back("user");
               })
        .reply(110, 1)
        .expect('T', 1007,
                [](CPACKET& a, std::vector<std::string>& f) {
                    a.Consume(12);  // the three header numbers
                    if (TakeShort(a) != "execsql") f.push_back("command");
                })
        .reply(1007, 1, "", answer)
        .expect('T', 111)
        .reply(111, 1);
    if (srv.port() == 0) {
        std::fprintf(stderr, "kit_fake_server: cannot listen\n");
        return 1;
    }
    srv.start(true, connections);

    std::string tmp = std::string(portFile) + ".tmp";
    if (FILE* f = std::fopen(tmp.c_str(), "w")) {
        std::fprintf(f, "%u\n", unsigned(srv.port()));
        std::fclose(f);
        std::rename(tmp.c_str(), portFile);
    }
    std::vector<std::string> failures = srv.finish();
    for (const auto& t : failures) std::fprintf(stderr, "kit_fake_server: %s\n", t.c_str());
    return failures.empty() && srv.connections() >= connections ? 0 : 1;
}

#endif
