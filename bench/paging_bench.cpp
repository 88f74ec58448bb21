// Fetches every block of a large table from vornd and reports the time per
// block early, midway and late in the result. With a server that continues
// its cursor the three agree; a server that re-ran the query for each block
// would grow linearly with the block number (--rerun shows that path).
#include "KitLogin.h"
#include "VorndProcess.h"
#include "platform/platform.h"
#include "vornvdb/vornkit.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vorndtest;

namespace {

// One block through the kit: the answer's status and its rows in `rows`.
std::uint32_t fetchBlock(HVDB session, const std::string& sql, std::uint32_t rows, std::uint32_t block,
                         std::uint32_t& inBlock, std::string& message) {
    XmlRequest r{};
    std::strcpy(r.command, "execsql");
    r.text = const_cast<char*>(sql.c_str());
    r.textLength = std::int32_t(sql.size() + 1);
    r.rows = rows;
    r.flags = 36;
    r.block = block;
    VdbExport(session, &r);
    // Blocks the kit allocated for the answer are ours.
    if (r.document) plat::heapFree(r.document);
    if (r.text != sql.c_str()) plat::heapFree(r.text);
    inBlock = r.block;
    message = r.message;
    return r.status;
}

void usage() {
    std::printf(
        "Usage: vornd_paging_bench [--rows N] [--block N] [--rerun]\n"
        "  --rows N   rows in the table (default 100000)\n"
        "  --block N  rows per block (default 100)\n"
        "  --rerun    between blocks, restart the same statement text elsewhere, so that\n"
        "             each block has to re-run the query and skip (the slow path)\n");
}

double mean(const std::vector<double>& v, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += v[i];
    return to > from ? sum / static_cast<double>(to - from) : 0;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned long rows = 100000, block = 100;
    bool rerun = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rows") && i + 1 < argc) {
            rows = std::strtoul(argv[++i], nullptr, 10);
        } else if (!std::strcmp(argv[i], "--block") && i + 1 < argc) {
            block = std::strtoul(argv[++i], nullptr, 10);
        } else if (!std::strcmp(argv[i], "--rerun")) {
            rerun = true;
        } else {
            usage();
            return !std::strcmp(argv[i], "--help") ? 0 : 2;
        }
    }
    if (rows == 0 || block == 0) {
        usage();
        return 2;
    }

    const std::string script = "/tmp/vornd-bench-" + std::to_string(getpid()) + ".sql";
    std::ofstream(script) << "CREATE TABLE BIG (ID INTEGER PRIMARY KEY, NAME VARCHAR(40), V NUMERIC, D DATE);\n"
                             "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                          << rows
                          << ")\nINSERT INTO BIG SELECT i, 'row ' || i, i / 3.0, date('2000-01-01', '+' || "
                             "(i % 9000) || ' days') FROM n;\n";
    TestServer server("bench", "", {}, script);
    ::unlink(script.c_str());
    if (!server.ok()) {
        std::fprintf(stderr, "%s\n", server.error().c_str());
        return 1;
    }
    HVDB session = kitLogin(server.port(), "bench", "bench", 600);
    if (!session) {
        std::fprintf(stderr, "cannot log in\n");
        return 1;
    }
    const std::string q = "SELECT ID, NAME, V, D FROM BIG ORDER BY ID";
    std::vector<double> ms;
    unsigned long fetched = 0;
    std::uint32_t inBlock = 0;
    std::string message;
    const auto start = std::chrono::steady_clock::now();
    for (std::uint32_t n = 1;; ++n) {
        if (rerun && n > 1) fetchBlock(session, q, static_cast<std::uint32_t>(block), 1, inBlock, message);
        const auto t0 = std::chrono::steady_clock::now();
        const std::uint32_t status = fetchBlock(session, q, static_cast<std::uint32_t>(block), n, inBlock, message);
        const auto t1 = std::chrono::steady_clock::now();
        if (!(status & 1)) {
            std::fprintf(stderr, "block %u failed: %s\n", n, message.c_str());
            break;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        fetched += inBlock;
        if (status != 3) break;
    }
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::size_t n = ms.size(), tenth = n >= 10 ? n / 10 : 1;
    std::printf("rows %lu fetched %lu, block size %lu, %zu blocks, %.2f s%s\n", rows, fetched, block, n, total,
                rerun ? " (re-run path)" : "");
    if (n > 0) {
        const std::size_t mid = n / 2 - std::min(n / 2, tenth / 2);
        std::printf("early  blocks %6zu-%-6zu %8.3f ms per block\n", std::size_t(1), tenth, mean(ms, 0, tenth));
        std::printf("middle blocks %6zu-%-6zu %8.3f ms per block\n", mid + 1, mid + tenth, mean(ms, mid, mid + tenth));
        std::printf("late   blocks %6zu-%-6zu %8.3f ms per block\n", n - tenth + 1, n, mean(ms, n - tenth, n));
        std::printf("late/early ratio %.2f\n", mean(ms, n - tenth, n) / mean(ms, 0, tenth));
    }
    VdbEndVorn(session, 0);
    return fetched == rows ? 0 : 1;
}
