// The reader's integrity check: the lengths a file declares, walked over
// the bytes it holds, without trusting any of them.
#include <memory>

#include "platform/errors.h"
#include "swf/actions.h"
#include "swf/names.h"
#include "swf/reader.h"
#include "swf/tag_codes.h"

namespace {

class TDamageWalk {
public:
    TDamageWalk(TMemoryStream& body, std::vector<std::string>& found) : body_(body), found_(found) {}

    // The tag records of [start, end): the file's body or a sprite's tags.
    void Tags(int64_t start, int64_t end, const std::string& where) {
        const uint8_t* bytes = body_.Memory();
        int64_t at = start;
        while (at < end) {
            if (end - at < 2) {
                Note(FormatStr("%s ends inside a tag header", where.c_str()));
                return;
            }
            const uint16_t header = static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
            const uint16_t code = static_cast<uint16_t>(header >> 6);
            const int64_t tagAt = at;
            at += 2;
            int64_t length = header & 0x3F;
            if (length == 0x3F) {
                if (end - at < 4) {
                    Note(FormatStr("%s ends inside the header of its %s tag", where.c_str(), Name(code).c_str()));
                    return;
                }
                length = int64_t{bytes[at]} | int64_t{bytes[at + 1]} << 8 | int64_t{bytes[at + 2]} << 16 |
                         int64_t{bytes[at + 3]} << 24;
                at += 4;
            }
            if (length > end - at) {
                Note(FormatStr("the %s tag at byte %lld of %s declares %lld bytes, but only %lld are left",
                               Name(code).c_str(), static_cast<long long>(tagAt), where.c_str(),
                               static_cast<long long>(length), static_cast<long long>(end - at)));
                return;
            }
            if (code == TagCodes::End) return;
            const std::string inner = FormatStr("the %s tag at byte %lld", Name(code).c_str(), static_cast<long long>(tagAt));
            if (code == TagCodes::DefineSprite && length >= 4) Tags(at + 4, at + length, inner);
            if (code == TagCodes::DoAction) Script(at, at + length, inner);
            if (code == TagCodes::DoInitAction && length >= 2) Script(at + 2, at + length, inner);
            at += length;
        }
        Note(FormatStr("%s ends without its End tag", where.c_str()));
    }

private:
    static std::string Name(uint16_t code) {
        std::string name = TagIdToName(code);
        return name.empty() ? FormatStr("code %u", unsigned{code}) : name;
    }

    void Note(const std::string& text) { found_.push_back(text); }

    // The action records of a script: each length within the script and
    // filled by its fields exactly, as players read them, and an ActionEnd
    // as the script's last byte.
    void Script(int64_t start, int64_t end, const std::string& where) {
        const uint8_t* bytes = body_.Memory();
        int64_t at = start;
        while (at < end) {
            const uint8_t code = bytes[at];
            if (code == 0 && at == end - 1) return;
            const int64_t recordAt = at++;
            if (code < 0x80) continue;
            if (end - at < 2) {
                Note(FormatStr("the script of %s ends inside the header of action 0x%02X", where.c_str(), code));
                return;
            }
            const int64_t length = bytes[at] | bytes[at + 1] << 8;
            at += 2;
            if (length > end - at) {
                Note(FormatStr("action 0x%02X at byte %lld of the script of %s declares %lld bytes, but only %lld are left",
                               code, static_cast<long long>(recordAt - start), where.c_str(),
                               static_cast<long long>(length), static_cast<long long>(end - at)));
                return;
            }
            // The codes the library keeps for its own raw records and markers
            // are no actions: players skip them by their length.
            std::unique_ptr<TSWFAction> action;
            if (code != kActionByteCode && code != kActionOffsetMarker) action = CreateActionByCode(code);
            if (action) {
                action->BodySize = static_cast<uint16_t>(length);
                std::string mismatch;
                try {
                    TBoundedStream view(body_, at, length);
                    TBitsEngine be(view);
                    action->ReadBody(be);
                    if (view.GetPosition() != length)
                        mismatch = FormatStr("its fields take %lld", static_cast<long long>(view.GetPosition()));
                } catch (const Exception& e) {
                    mismatch = std::string("its fields run past them (") + e.what() + ")";
                }
                if (!mismatch.empty()) {
                    Note(FormatStr("action 0x%02X at byte %lld of the script of %s declares %lld bytes, but %s", code,
                                   static_cast<long long>(recordAt - start), where.c_str(),
                                   static_cast<long long>(length), mismatch.c_str()));
                    return;
                }
            }
            at += length;
        }
        Note(FormatStr("the script of %s does not end with ActionEnd", where.c_str()));
    }

    TMemoryStream& body_;
    std::vector<std::string>& found_;
};

}  // namespace

std::vector<std::string> TSWFStreamReader::FindDamage() {
    std::vector<std::string> found;
    if (!Valid) return {"the file is not an SWF movie"};
    if (FileLength > LoadedFileBytes)
        found.push_back(FormatStr("the header gives a file length of %u bytes, but the file holds only %lld",
                                  FileLength, static_cast<long long>(LoadedFileBytes)));
    TMemoryStream& body = GetBodyStream();
    TDamageWalk(body, found).Tags(0, body.GetSize(), "the file");
    return found;
}
