#include "imaging/core/ie_pdf_objects.h"

#include <cstdio>

#include "imaging/core/ie_helpers.h"

namespace {

void Put(TStream& stream, const std::string& text) {
    if (!text.empty()) stream.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

void PutLine(TStream& stream, const std::string& text) { Put(stream, text + "\n"); }

// Frees the items a container owns, from the last to the first.
void FreeOwned(std::vector<TIEPDFObject*>& items) {
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        if (*it && !(*it)->Indirect) delete *it;
    items.clear();
}

}  // namespace

void TIEPDFRefObject::Write(TStream& stream) {
    Offset = stream.GetPosition();
    Put(stream, std::to_string(ObjectNumber) + " " + std::to_string(Generation) + " R");
}

void TIEPDFNumericObject::Write(TStream& stream) {
    Offset = stream.GetPosition();
    Put(stream, IEFloatToStrDot(Value));
}

void TIEPDFBooleanObject::Write(TStream& stream) {
    Offset = stream.GetPosition();
    Put(stream, Value ? "true" : "false");
}

void TIEPDFStringObject::Write(TStream& stream) {
    Offset = stream.GetPosition();
    std::string out = "(";
    for (char c : Text) {
        switch (c) {
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            case '(': out += "\\("; break;
            case ')': out += "\\)"; break;
            case '\\': out += "\\\\"; break;
            default: out += c;
        }
    }
    out += ")";
    Put(stream, out);
}

void TIEPDFNameObject::Write(TStream& stream) {
    Offset = stream.GetPosition();
    std::string out = "/";
    for (char c : Name) {
        const auto byte = static_cast<uint8_t>(c);
        // '#' itself starts an escape, so a literal one is escaped too.
        if (byte < 0x21 || byte > 0x7E || byte == '#') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "#%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    Put(stream, out);
}

TIEPDFArrayObject::~TIEPDFArrayObject() { FreeOwned(items_); }

TIEPDFObject* TIEPDFArrayObject::Add(TIEPDFObject* item) {
    items_.push_back(item);
    return item;
}

void TIEPDFArrayObject::Write(TStream& stream) {
    Offset = stream.GetPosition();
    Put(stream, "[");
    for (TIEPDFObject* item : items_) {
        item->Write(stream);
        Put(stream, " ");
    }
    Put(stream, "]");
}

TIEPDFDictionaryObject::~TIEPDFDictionaryObject() {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) Release(it->second);
    entries_.clear();
}

void TIEPDFDictionaryObject::Release(TIEPDFObject* value) {
    if (value && !value->Indirect) delete value;
}

TIEPDFObject* TIEPDFDictionaryObject::AddObject(const std::string& key, TIEPDFObject* value) {
    entries_.emplace_back(key, value);
    return value;
}

TIEPDFObject* TIEPDFDictionaryObject::InsertObject(size_t index, const std::string& key, TIEPDFObject* value) {
    if (index > entries_.size()) index = entries_.size();
    entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(index), {key, value});
    return value;
}

TIEPDFObject* TIEPDFDictionaryObject::Find(const std::string& key) const {
    for (const auto& [name, value] : entries_)
        if (name == key) return value;
    return nullptr;
}

void TIEPDFDictionaryObject::SetObject(const std::string& key, TIEPDFObject* value) {
    for (auto& entry : entries_)
        if (entry.first == key) {
            if (entry.second != value) Release(entry.second);
            entry.second = value;
            return;
        }
    AddObject(key, value);
}

void TIEPDFDictionaryObject::Write(TStream& stream) {
    Offset = stream.GetPosition();
    Put(stream, "<< ");
    for (const auto& [key, value] : entries_) {
        Put(stream, "/" + key + " ");
        value->Write(stream);
        Put(stream, "\n");
    }
    Put(stream, ">>");
}

TIEPDFStreamObject::TIEPDFStreamObject() { Dictionary.AddObject("Length", new TIEPDFNumericObject(0)); }

TIEPDFStreamObject::TIEPDFStreamObject(const void* data, size_t length) : TIEPDFStreamObject() {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (length > 0) Data.assign(bytes, bytes + length);
}

void TIEPDFStreamObject::Write(TStream& stream) {
    Offset = stream.GetPosition();
    Dictionary.SetObject("Length", new TIEPDFNumericObject(static_cast<double>(Data.size())));
    Dictionary.Write(stream);
    Put(stream, "\nstream\n");
    if (!Data.empty()) stream.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
    Put(stream, "\nendstream");
}

void IEPDFWriteHeader(TStream& stream) {
    PutLine(stream, "%PDF-1.4");
    static const uint8_t binary[5] = {0xC8, 0xD2, 0xF0, 0xFE, '\n'};
    stream.WriteBuffer(binary, 5);
}

TIEPDFObject* IEPDFAddObject(TIEPDFObjectList& objects, std::unique_ptr<TIEPDFObject> object) {
    object->Indirect = true;
    objects.push_back(std::move(object));
    objects.back()->Number = static_cast<int32_t>(objects.size());
    return objects.back().get();
}

TIEPDFDictionaryObject* IEPDFCreateCatalog(TIEPDFObjectList& objects) {
    auto* catalog = IEPDFAdd(objects, std::make_unique<TIEPDFDictionaryObject>());
    catalog->AddObject("Type", new TIEPDFNameObject("Catalog"));
    return catalog;
}

TIEPDFDictionaryObject* IEPDFCreatePages(TIEPDFObjectList& objects,
                                          const std::vector<TIEPDFDictionaryObject*>& pages) {
    auto* root = IEPDFAdd(objects, std::make_unique<TIEPDFDictionaryObject>());
    root->AddObject("Type", new TIEPDFNameObject("Pages"));
    auto* kids = root->AddObject("Kids", new TIEPDFArrayObject);
    for (TIEPDFDictionaryObject* page : pages) {
        static_cast<TIEPDFArrayObject*>(kids)->Add(new TIEPDFRefObject(page->Number, 0));
        page->AddObject("Parent", new TIEPDFRefObject(root->Number, 0));
    }
    root->AddObject("Count", new TIEPDFNumericObject(static_cast<double>(pages.size())));
    if (!objects.empty())
        if (auto* catalog = dynamic_cast<TIEPDFDictionaryObject*>(objects.front().get()); catalog && catalog != root)
            catalog->AddObject("Pages", new TIEPDFRefObject(root->Number, 0));
    return root;
}

TIEPDFDictionaryObject* IEPDFCreatePage(TIEPDFObjectList& objects, std::vector<TIEPDFDictionaryObject*>& pages,
                                         TIEPDFDictionaryObject* resources, int32_t contentsNumber,
                                         std::unique_ptr<TIEPDFArrayObject> mediaBox) {
    auto page = std::make_unique<TIEPDFDictionaryObject>();
    page->AddObject("Type", new TIEPDFNameObject("Page"));
    if (resources) page->AddObject("Resources", new TIEPDFRefObject(resources->Number, 0));
    page->AddObject("MediaBox", std::move(mediaBox));
    page->AddObject("Contents", new TIEPDFRefObject(contentsNumber, 0));
    auto* added = IEPDFAdd(objects, std::move(page));
    pages.push_back(added);
    return added;
}

void IEPDFWriteObjects(TStream& stream, TIEPDFObjectList& objects) {
    for (auto& object : objects) {
        const int64_t start = stream.GetPosition();
        PutLine(stream, std::to_string(object->Number) + " 0 obj");
        object->Write(stream);
        Put(stream, "\nendobj\n");
        object->Offset = start;
    }
}

void IEPDFWriteXRef(TStream& stream, TIEPDFObjectList& objects, const TIEPDFObject& info) {
    const int64_t start = stream.GetPosition();
    const std::string count = std::to_string(objects.size() + 1);
    PutLine(stream, "xref");
    PutLine(stream, "0 " + count);
    PutLine(stream, "0000000000 65535 f ");
    for (const auto& object : objects) PutLine(stream, IEPadLeft(std::to_string(object->Offset), 10, '0') + " 00000 n ");
    PutLine(stream, "trailer");
    PutLine(stream, "<< /Size " + count);
    PutLine(stream, "/Root 1 0 R");
    PutLine(stream, "/Info " + std::to_string(info.Number) + " 0 R");
    PutLine(stream, ">>");
    PutLine(stream, "startxref");
    PutLine(stream, std::to_string(start));
    PutLine(stream, "%%EOF");
}
