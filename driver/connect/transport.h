// The transport keywords of a connection: whether the session runs over TLS
// and how the server's certificate is checked. They sit beside the eight
// data-source keywords and are read the same way: the connection string
// first, then the data source's keys of the same names.
#pragma once

#include "vornvdb/vornkit.h"

#include <cstddef>
#include <string>

enum TransportSlot : int {
    TRANSPORT_ENCRYPT = 0,
    TRANSPORT_TRUST_SERVER = 1,
    TRANSPORT_CA_FILE = 2,
    TRANSPORT_HOST_NAME = 3,
    TRANSPORT_SLOT_COUNT = 4
};

// The keyword is also the data source's key.
extern const char* const TRANSPORT_KEYWORDS[TRANSPORT_SLOT_COUNT];

struct TransportValues {
    bool present[TRANSPORT_SLOT_COUNT] = {};
    std::string value[TRANSPORT_SLOT_COUNT];
};

// Takes the transport keywords of a connection string (read by
// forEachConnectionPair, as parseConnectionString reads it); others are left
// alone.
void parseTransportKeywords(TransportValues& values, const char* text, long length);
// Fills the slots not present from the data source's keys.
void readTransportKeys(TransportValues& values, const char* dsn);
// Sets the start-up record's comms module and TLS fields; false with the
// problem (a value that is not yes or no) when the values cannot be used.
bool applyTransport(const TransportValues& values, KitStartupParams& params, std::string& problem);
// True for the words that switch a flag on: yes, true, 1, mandatory (case
// ignored).
bool transportFlagOn(const std::string& text);
// ";Encrypt=yes..." for the slots present and not empty.
std::string transportConnectionString(const TransportValues& values);
