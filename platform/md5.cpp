#include "platform/md5.h"

#include <cstring>

namespace {

const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
const int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 5, 9,  14, 20, 5, 9,
                        14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                        4, 11, 16, 23, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

const char kCryptAlphabet[] = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

}  // namespace

TMD5::TMD5() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, buffer_{} {}

void TMD5::Transform(const uint8_t block[64]) {
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = uint32_t(block[i * 4]) | uint32_t(block[i * 4 + 1]) << 8 | uint32_t(block[i * 4 + 2]) << 16 |
               uint32_t(block[i * 4 + 3]) << 24;
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) { f = (b & c) | (~b & d); g = i; }
        else if (i < 32) { f = (d & b) | (~d & c); g = (5 * i + 1) % 16; }
        else if (i < 48) { f = b ^ c ^ d; g = (3 * i + 5) % 16; }
        else { f = c ^ (b | ~d); g = (7 * i) % 16; }
        uint32_t next = d;
        d = c;
        c = b;
        b = b + RotateLeft(a + f + kSine[i] + m[g], kShift[i]);
        a = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void TMD5::Update(const void* data, size_t size) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    size_t used = static_cast<size_t>(length_ % 64);
    length_ += size;
    if (used > 0) {
        size_t take = std::min(size, 64 - used);
        std::memcpy(buffer_ + used, bytes, take);
        bytes += take;
        size -= take;
        if (used + take < 64) return;
        Transform(buffer_);
    }
    while (size >= 64) {
        Transform(bytes);
        bytes += 64;
        size -= 64;
    }
    std::memcpy(buffer_, bytes, size);
}

std::array<uint8_t, 16> TMD5::Final() {
    uint64_t bits = length_ * 8;
    uint8_t pad[72] = {0x80};
    size_t used = static_cast<size_t>(length_ % 64);
    size_t padLength = used < 56 ? 56 - used : 120 - used;
    Update(pad, padLength);
    uint8_t lengthBytes[8];
    for (int i = 0; i < 8; ++i) lengthBytes[i] = static_cast<uint8_t>(bits >> (8 * i));
    Update(lengthBytes, 8);
    std::array<uint8_t, 16> digest;
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) digest[i * 4 + k] = static_cast<uint8_t>(state_[i] >> (8 * k));
    return digest;
}

std::array<uint8_t, 16> MD5Digest(const std::string& text) {
    TMD5 md5;
    md5.Update(text);
    return md5.Final();
}

std::string MD5Hex(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : MD5Digest(text)) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

std::string MD5Crypt(const std::string& password, const std::string& saltText, TRandomSource& random) {
    std::string salt = saltText.rfind("$1$", 0) == 0 ? saltText.substr(3) : saltText;
    if (salt.size() > 1) {
        salt = salt.substr(0, 2);
    } else {
        salt.clear();
        for (int i = 0; i < 2; ++i) salt += kCryptAlphabet[random.Next(64)];
    }
    const std::string magic = "$1$";

    TMD5 alternate;
    alternate.Update(password);
    alternate.Update(salt);
    alternate.Update(password);
    std::array<uint8_t, 16> alt = alternate.Final();

    TMD5 context;
    context.Update(password);
    context.Update(magic);
    context.Update(salt);
    // The whole length counts, however long the password.
    size_t length = password.size();
    for (size_t left = length; left > 0; left -= std::min<size_t>(left, 16))
        context.Update(alt.data(), std::min<size_t>(left, 16));
    const char zero = 0;
    for (size_t bits = length; bits > 0; bits >>= 1) {
        if (bits & 1) context.Update(&zero, 1);
        else context.Update(password.data(), password.empty() ? 0 : 1);
    }
    std::array<uint8_t, 16> digest = context.Final();

    for (int round = 0; round < 1000; ++round) {
        TMD5 step;
        if (round & 1) step.Update(password);
        else step.Update(digest.data(), 16);
        if (round % 3) step.Update(salt);
        if (round % 7) step.Update(password);
        if (round & 1) step.Update(digest.data(), 16);
        else step.Update(password);
        digest = step.Final();
    }

    std::string result = magic + salt + "$";
    auto emit = [&](uint32_t value, int count) {
        for (int i = 0; i < count; ++i) {
            result += kCryptAlphabet[value & 0x3F];
            value >>= 6;
        }
    };
    const int order[5][3] = {{0, 6, 12}, {1, 7, 13}, {2, 8, 14}, {3, 9, 15}, {4, 10, 5}};
    for (const auto& group : order)
        emit(uint32_t(digest[group[0]]) << 16 | uint32_t(digest[group[1]]) << 8 | digest[group[2]], 4);
    emit(digest[11], 2);
    return result;
}
