// Fuzz target for the answer-document parser.
//
// Default build: a seeded mutation loop over the documents of a corpus
// folder, run by ctest for a fixed number of iterations (reproducible: the
// seed is fixed; a third argument picks another).
// With VORN_LIBFUZZER the same entry point is driven by clang's libFuzzer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "driver/stmt/resultset.h"
#include "driver/stmt/resultxml.h"
#include "platform/platform.h"

namespace {

// Everything a result holds, each byte touched, so that the sanitizers see
// a length that runs past its block; the row scanner must give exactly what
// Expat alone gives.
std::string describe(const ResultSet* rs, const ParseStatus& st) {
    if (rs->columnCount < 0 || rs->columnCount > rs->columns.getCount()) std::abort();
    if (std::strlen(rs->statementType) >= sizeof rs->statementType) std::abort();
    const auto text = [](const char* t) { return t ? std::string(t) + "|" : std::string("(null)|"); };
    std::string out = std::to_string(st.code) + " " + std::to_string(st.refused) + text(st.message) +
                      text(st.faultSource) + text(st.faultContext) + rs->statementType + " " +
                      std::to_string(rs->rowCount) + " " + std::to_string(rs->columnCount) + "\n";
    for (int c = 0; c < rs->columns.getCount(); ++c) {
        const ColumnMetaData* col = resultColumn(rs, c);
        out += text(col->tableName) + text(col->columnName) + text(col->columnLabel) + text(col->columnType);
        for (long n : {long(col->precision), long(col->id), long(col->sqlType), long(col->maxLength),
                       long(col->isNullable)})
            out += std::to_string(n) + " ";
    }
    for (int r = 0; r < resultRowCount(rs); ++r) {
        const Row* row = resultRow(rs, r);
        out += "\nrow " + std::to_string(row->rowNumber) + " " + std::to_string(row->recordNumber) + " " +
               std::to_string(row->partNumber) + " " + std::to_string(row->valueCount) + ":";
        for (int v = 0; v < row->valueCount; ++v) {
            const ColumnValue* value = rowValue(row, v);
            if (!value->data && value->length) std::abort();
            out += std::to_string(value->isNull) + std::to_string(value->base64) + std::to_string(value->hasPart) +
                   (value->data ? std::string(value->data, value->length + 1) : "(null)") + text(value->fetchKey);
        }
    }
    return out;
}

// Limits that vary with the document, so that every one is met somewhere.
AnswerLimits limitsFor(std::size_t size) {
    AnswerLimits limits;
    limits.valuesWithinColumns = size % 2 == 1;
    limits.maxRows = size % 3 == 0 ? 2 : -1;
    limits.maxStoredBytes = size % 5 == 0 ? size : 0;
    return limits;
}

// The input is one document, or two when a second prolog starts within it:
// both read in turn by one kept parser (the second may reuse the first's
// head), each compared with Expat alone.
void parseOne(const std::uint8_t* data, std::size_t size) {
    const char* input = reinterpret_cast<const char*>(data);
    const std::string whole(input, size);
    std::size_t split = size > 0 ? whole.find("<?xml", 1) : std::string::npos;
    if (split == std::string::npos) split = size;
    const std::pair<const char*, std::size_t> docs[] = {{input, split}, {input + split, size - split}};
    AnswerParser* kept = newAnswerParser();
    if (!kept) std::abort();
    for (const auto& [doc, length] : docs) {
        if (doc != input && length == 0) break;
        ResultSet* rs = nullptr;
        ResultSet* expat = nullptr;
        {
            const AnswerLimits limits = limitsFor(length);
            // The scanner's side reads a heap copy in place, as the driver
            // does: a bail after values were read in place must leave Expat
            // the document as it came.
            char* block = static_cast<char*>(plat::heapAllocRaw(length + 1));
            if (!block) std::abort();
            std::memcpy(block, doc, length);
            ParseStatus st = parseAnswerInPlace(kept, block, length, &rs, limits);
            plat::heapFree(block);  // null when the result kept it
            ParseStatus alone = parseAnswer(nullptr, doc, length, &expat, limits, RowReading::ExpatOnly);
            if (!rs || !expat) std::abort();
            if (describe(rs, st) != describe(expat, alone)) {
                std::fprintf(stderr, "the row scanner and Expat differ on: %.*s\n", int(length < 4000 ? length : 4000), doc);
                std::abort();
            }
        }
        freeResultSet(rs);
        freeResultSet(expat);
    }
    freeAnswerParser(kept);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    parseOne(data, size);
    return 0;
}

#ifndef VORN_LIBFUZZER

namespace {

const char* const kTokens[] = {
    "<Row>", "</Row>", "<Column>", "</Column>", "<P>", "</P>", "<property name=\"x\">", "</property>",
    "<Fault faultCode=\"3\">", "</Fault>", "<Success>", "</Success>", "<ResultSetMetaData columnCount=\"9\">",
    "<ColumnMetaData columnType=\"DATE\"/>", " encoding=\"base64\"", " null=\"TRUE\"", " fetchKey=\"k\"",
    "&amp;", "&#233;", "&#x10FFFF;", "\xc3\xa9", "\xe2\x82\xac", "\n", "\r\n", "  ", "<![CDATA[x]]>",
    "<!-- c -->", "=", "\"", "<", ">", "/>", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>",
};

std::string mutate(std::string s, const std::vector<std::string>& seeds, std::mt19937& rng) {
    auto pick = [&](std::size_t n) { return n ? std::size_t(rng() % n) : 0; };
    int steps = 1 + int(rng() % 4);
    for (int k = 0; k < steps; ++k) {
        std::size_t pos = pick(s.size() + 1);
        switch (rng() % 6) {
        case 0:
            if (!s.empty()) s[pick(s.size())] ^= char(1u << (rng() % 8));
            break;
        case 1:
            s.insert(pos, 1, char(rng()));
            break;
        case 2:
            s.erase(pos, pick(16));
            break;
        case 3: {
            std::size_t from = pick(s.size() + 1);
            s.insert(pos, s.substr(from, pick(64)));
            break;
        }
        case 4:
            s.insert(pos, kTokens[pick(sizeof kTokens / sizeof kTokens[0])]);
            break;
        default: {
            const std::string& other = seeds[pick(seeds.size())];
            s = s.substr(0, pos) + other.substr(pick(other.size() + 1));
            break;
        }
        }
        if (s.size() > 65536) s.resize(65536);
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s corpus-folder [iterations] [seed]\n", argv[0]);
        return 2;
    }
    long iterations = argc > 2 ? std::atol(argv[2]) : 20000;
    unsigned seed = argc > 3 ? unsigned(std::strtoul(argv[3], nullptr, 10)) : 20261205u;

    std::vector<std::string> seeds;
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        seeds.push_back(text.str());
    }
    if (seeds.empty()) {
        std::fprintf(stderr, "no seed documents in %s\n", argv[1]);
        return 2;
    }
    for (const std::string& s : seeds) parseOne(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());

    std::mt19937 rng(seed);
    for (long i = 0; i < iterations; ++i) {
        const std::string& seed = seeds[rng() % seeds.size()];
        std::string input = mutate(seed, seeds, rng);
        // Half the time a pair: a document, then a variant of it.
        if (rng() % 2) input = rng() % 2 ? seed + input : input + mutate(input, seeds, rng);
        parseOne(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    }
    std::printf("%ld mutated documents parsed from %zu seeds\n", iterations, seeds.size());
    return 0;
}

#endif
