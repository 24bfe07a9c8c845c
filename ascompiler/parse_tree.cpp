#include "ascompiler/parse_tree.h"

TCompoundName::TCompoundName(const std::string& text, TStringTable& strings) { Assign(text, strings); }

void TCompoundName::Assign(const std::string& text, TStringTable& strings) {
    Parts.clear();
    fullName_ = -1;
    size_t start = 0;
    for (;;) {
        size_t dot = text.find('.', start);
        std::string part = text.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (!part.empty()) Parts.push_back(strings.Intern(part));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
}

TStrId TCompoundName::FullName(TStringTable& strings) {
    if (fullName_ < 0) {
        std::string text;
        for (size_t i = 0; i < Parts.size(); ++i) {
            if (i > 0) text += '.';
            text += strings.Text(Parts[i]);
        }
        fullName_ = strings.Intern(text);
    }
    return fullName_;
}

std::vector<TCompoundName*> TClassDefNode::Dependencies() const {
    if (SuperName) return {SuperName};
    return {};
}

std::vector<TCompoundName*> TClassImplNode::Dependencies() const {
    std::vector<TCompoundName*> result = TClassDefNode::Dependencies();
    if (Interfaces) result.insert(result.end(), Interfaces->Names.begin(), Interfaces->Names.end());
    return result;
}
