// MD5 (RFC 1321) and the "$1$" MD5-crypt password hash, written here so the
// protect tags need no crypto library.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/random.h"

class TMD5 {
public:
    TMD5();
    void Update(const void* data, size_t size);
    void Update(const std::string& text) { Update(text.data(), text.size()); }
    std::array<uint8_t, 16> Final();

private:
    void Transform(const uint8_t block[64]);
    uint32_t state_[4];
    uint64_t length_ = 0;
    uint8_t buffer_[64];
};

std::array<uint8_t, 16> MD5Digest(const std::string& text);
std::string MD5Hex(const std::string& text);

// MD5-crypt of password. A leading "$1$" of salt is dropped; of what remains
// only the first two characters are used, and when fewer than two remain the
// salt is two characters drawn from random. The result is "$1$", the salt,
// "$" and 22 characters, as the published MD5-crypt scheme gives them for
// passwords of any length.
std::string MD5Crypt(const std::string& password, const std::string& salt,
                     TRandomSource& random = DefaultRandom());
