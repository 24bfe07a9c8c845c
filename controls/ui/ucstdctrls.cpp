#include "controls/ui/ucstdctrls.h"

std::u16string TUcLabel::DisplayText() const { return UcControlGetText(const_cast<TUcLabel&>(*this)); }

void TUcEdit::SetSelText(const WideString& text) {
    const WideString zeroTerminated = text + u'\0';
    SendClassMessage(EM_REPLACESEL, 1, reinterpret_cast<intptr_t>(zeroTerminated.c_str()));
}

void TUcStatusBar::SetSimpleText(const WideString& text) {
    if (text == simpleText_) return;
    simpleText_ = text;
    TStatusBar::SetSimpleText(WideToAnsiDefault(text));
    Invalidate();
}
