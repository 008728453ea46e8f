// The server side of the FSUIPC wire format: one batch of requests in a
// shared area, walked from its start.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim {

// Serves the batch in `area` (`size` bytes, the whole mapping): fills the
// data of each read from the offset space and applies each write in queue
// order. The area is untrusted: a request running past its end, or an
// identifier other than 1, 2 or the 0 terminator, ends the walk. Returns the
// answer for the client: 1 for a good batch, 0 otherwise.
std::int32_t serve_batch(unsigned char* area, std::size_t size);

// Called with the world locked after each read has been filled, when set:
// it may change what the client is answered (a test that makes the
// simulator say anything).
extern void (*answer_hook)(std::uint32_t offset, std::uint32_t n, unsigned char* data);

// Called with the world locked for each request before it is served (id 1 a
// read, 2 a write with its data), and with id 0 at the batch's end, when
// set: a test that keeps every batch the program sends.
extern void (*request_hook)(std::uint32_t id, std::uint32_t offset, std::uint32_t n, const unsigned char* data);

}  // namespace sim
