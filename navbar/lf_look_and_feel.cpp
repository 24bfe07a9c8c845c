#include "navbar/lf_look_and_feel.h"

#include <algorithm>

#include "navbar/lf_office11.h"
#include "platform/ui/theme.h"

namespace {

TlfSystemPaletteChangedListener* gListener = nullptr;
int gListenerUsers = 0;
TlfLookAndFeel* gRoot = nullptr;
int gControllers = 0;

// The painters' own notifier: the radio-button images follow the colours.
class TSystemPaletteChangedNotifier : public TlfSystemPaletteChangedNotifier {
public:
    TSystemPaletteChangedNotifier() : TlfSystemPaletteChangedNotifier(true) {}
    void Notify() override { PainterImagesPaletteChanged(); }
};

// Made with the root, freed with it.
TSystemPaletteChangedNotifier* gPainterNotifier = nullptr;

template <typename T>
bool Contains(const std::vector<T*>& list, const T* item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

// ------------------------------------------------------------------ palette

TlfSystemPaletteChangedNotifier::TlfSystemPaletteChangedNotifier(bool primary) : primary_(primary) {
    TlfSystemPaletteChangedListener* listener = AcquirePaletteListener();
    (primary ? listener->PrimaryNotifiers : listener->Notifiers).push_back(this);
}

TlfSystemPaletteChangedNotifier::~TlfSystemPaletteChangedNotifier() {
    if (gListener) {
        auto& list = primary_ ? gListener->PrimaryNotifiers : gListener->Notifiers;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    ReleasePaletteListener();
}

TlfSystemPaletteChangedListener::TlfSystemPaletteChangedListener() {
    AcquireOffice11Colors();
    // The platform tells of a new desktop palette; it comes here as the
    // system's colour-change message.
    themeListener_ = AddThemeChangeListener([this] { Perform(WM_SYSCOLORCHANGE); });
}

TlfSystemPaletteChangedListener::~TlfSystemPaletteChangedListener() {
    RemoveThemeChangeListener(themeListener_);
    DiscardOffice11Colors();
}

void TlfSystemPaletteChangedListener::WndProc(TMessage& message) {
    if (message.Msg == WM_SYSCOLORCHANGE) {
        RecomputeOffice11Colors();
        // Each list from its last notifier to its first; one that goes
        // meanwhile is not told.
        for (auto* list : {&PrimaryNotifiers, &Notifiers}) {
            const std::vector<TlfSystemPaletteChangedNotifier*> copy = *list;
            for (auto it = copy.rbegin(); it != copy.rend(); ++it)
                if (Contains(*list, *it)) (*it)->Notify();
        }
    }
    TlfMessageWindow::WndProc(message);
}

TlfSystemPaletteChangedListener* AcquirePaletteListener() {
    if (gListenerUsers++ == 0) gListener = new TlfSystemPaletteChangedListener;
    return gListener;
}

void ReleasePaletteListener() {
    if (gListenerUsers == 0) return;
    if (--gListenerUsers == 0) {
        delete gListener;
        gListener = nullptr;
    }
}

TlfSystemPaletteChangedListener* PaletteListener() { return gListener; }

// ------------------------------------------------------------------ look and feel

TlfLookAndFeel::TlfLookAndFeel(void* owner) : TlfInterfacedPersistent(owner) {
    GlobalLookAndFeel();  // the tree's root is there before its first branch
    Initialize();
}

TlfLookAndFeel::TlfLookAndFeel(void* owner, TRootTag) : TlfInterfacedPersistent(owner), isRoot_(true) {}

void TlfLookAndFeel::Initialize() {
    currentValues_ = ownValues_;
    paletteNotifier_ = std::make_unique<TlfSystemPaletteChangedNotifier>(false);
    paletteNotifier_->OnChanged = [this] { PaletteChanged(); };
    if (!isRoot_ && gRoot) {
        gRoot->AttachListener(this);
        currentValues_.Kind = ResolveKind();
        currentValues_.NativeStyle = ResolveNativeStyle();
        currentValues_.SkinName = ResolveSkinName();
        if (!currentValues_.NativeStyle) extendedStylePainter_ = ResolveSkinPainter();
    }
    currentValues_.ChosenPainter = ResolvePainterForSet({});
}

TlfLookAndFeel::~TlfLookAndFeel() {
    if (listensToRegistry_) ExtendedStylePainters()->DetachListener(this);
    paletteNotifier_.reset();
    isDestroying_ = true;
    const std::vector<IlfLookAndFeelListener*> listeners = listeners_;
    for (IlfLookAndFeelListener* listener : listeners) listener->MasterDestroying(this);
    isDestroying_ = false;
    listeners_.clear();
    if (TlfLookAndFeel* master = Master()) master->DetachListener(this);
    if (isRoot_ && gRoot == this) gRoot = nullptr;
}

TlfLookAndFeel* TlfLookAndFeel::Master() const {
    if (isRoot_) return nullptr;
    if (master_) return master_;
    return gRoot && !gRoot->isDestroying_ ? gRoot : nullptr;
}

TlfLookAndFeel* TlfLookAndFeel::InheritFrom() const { return isRoot_ ? nullptr : Master(); }

TlfLookAndFeelKind TlfLookAndFeel::ResolveKind() const {
    if (assignedValues_ & lfvsKind) return ownValues_.Kind;
    const TlfLookAndFeel* from = InheritFrom();
    return from ? from->Kind() : lfUltraFlat;
}

bool TlfLookAndFeel::ResolveNativeStyle() const {
    if (assignedValues_ & lfvsNativeStyle) return ownValues_.NativeStyle;
    const TlfLookAndFeel* from = InheritFrom();
    return from ? from->NativeStyle() : false;
}

TkrSkinName TlfLookAndFeel::ResolveSkinName() const {
    if (assignedValues_ & lfvsSkinName) return ownValues_.SkinName;
    const TlfLookAndFeel* from = InheritFrom();
    return from ? from->SkinName() : TkrSkinName();
}

TlfPainterClass TlfLookAndFeel::ResolveSkinPainter() const {
    TlfPainterClass painter = nullptr;
    if (assignedValues_ & lfvsSkinName) {
        FindSkinPainter(ownValues_.SkinName, painter);
        return painter;
    }
    const TlfLookAndFeel* from = InheritFrom();
    if (from) from->FindSkinPainter(from->SkinName(), painter);
    return painter;
}

bool TlfLookAndFeel::FindSkinPainter(const TkrSkinName& name, TlfPainterClass& painter) const {
    painter = nullptr;
    if (name.empty() || !ExtendedStylePainters()) return false;
    return ExtendedStylePainters()->FindPainterByName(name, painter);
}

TlfPainterClass TlfLookAndFeel::ResolvePainter(TkrThemedObjectType themeClass) const {
    return ResolvePainterForSet({themeClass});
}

TlfPainterClass TlfLookAndFeel::ResolvePainterForSet(std::initializer_list<TkrThemedObjectType> themeClasses) const {
    if (currentValues_.NativeStyle && VisualStylesActive(themeClasses)) return WinXPPainter();
    if (extendedStylePainter_) return extendedStylePainter_;
    return PainterOfKind(currentValues_.Kind);
}

void TlfLookAndFeel::SetKind(TlfLookAndFeelKind kind) {
    const TlfLookAndFeelKind before = Kind();
    assignedValues_ |= lfvsKind;
    ownValues_.Kind = kind;
    if (ResolveKind() != before) NotifyChanged(lfvsKind);
}

void TlfLookAndFeel::SetNativeStyle(bool nativeStyle) {
    const bool before = NativeStyle();
    assignedValues_ |= lfvsNativeStyle;
    ownValues_.NativeStyle = nativeStyle;
    if (ResolveNativeStyle() != before) NotifyChanged(lfvsNativeStyle);
}

void TlfLookAndFeel::SetSkinName(const TkrSkinName& name) {
    const TkrSkinName before = SkinName();
    assignedValues_ |= lfvsSkinName;
    ownValues_.SkinName = name;
    if (ResolveSkinName() != before) NotifyChanged(lfvsSkinName);
}

void TlfLookAndFeel::SetAssignedValues(TlfLookAndFeelValues values) {
    values &= lfvsAll;
    if (values == assignedValues_) return;
    SaveValues();
    assignedValues_ = values;
    CompareWithSaved();
}

void TlfLookAndFeel::SetMaster(TlfLookAndFeel* master) {
    if (isRoot_ || master == this || master == Master()) return;
    SaveValues();
    if (TlfLookAndFeel* present = Master()) present->DetachListener(this);
    master_ = master;
    if (TlfLookAndFeel* next = Master()) next->AttachListener(this);
    CompareWithSaved();
}

void TlfLookAndFeel::Assign(const TlfLookAndFeel& source) {
    if (&source == this) return;
    SaveValues();
    ownValues_.Kind = source.ownValues_.Kind;
    ownValues_.NativeStyle = source.ownValues_.NativeStyle;
    ownValues_.SkinName = source.ownValues_.SkinName;
    assignedValues_ = source.assignedValues_;
    // The source's master (its explicit one; a source that follows the
    // root makes this one follow the root too).
    TlfLookAndFeel* master = source.isRoot_ ? nullptr : source.master_;
    if (master != master_ && master != this) {
        if (TlfLookAndFeel* present = Master()) present->DetachListener(this);
        master_ = master;
        if (TlfLookAndFeel* next = Master()) next->AttachListener(this);
    }
    CompareWithSaved();
}

void TlfLookAndFeel::CompareWithSaved() {
    TlfLookAndFeelValues changed = 0;
    if (ResolveKind() != savedValues_.Kind) changed |= lfvsKind;
    if (ResolveNativeStyle() != savedValues_.NativeStyle) changed |= lfvsNativeStyle;
    if (ResolveSkinName() != savedValues_.SkinName) changed |= lfvsSkinName;
    NotifyChanged(changed);
}

void TlfLookAndFeel::NotifyChanged(TlfLookAndFeelValues changed) {
    if (changed == 0 || isDestroying_) return;
    currentValues_.Kind = ResolveKind();
    currentValues_.NativeStyle = ResolveNativeStyle();
    currentValues_.SkinName = ResolveSkinName();
    extendedStylePainter_ = nullptr;
    if (!currentValues_.NativeStyle) extendedStylePainter_ = ResolveSkinPainter();
    currentValues_.ChosenPainter = ResolvePainterForSet({});
    if (TlfExtendedStylePainters* registry = ExtendedStylePainters()) {
        if (extendedStylePainter_) registry->AttachListener(this);
        else registry->DetachListener(this);
        listensToRegistry_ = extendedStylePainter_ != nullptr;
    }
    // A listener that detaches itself makes the same position come again.
    size_t i = 0;
    while (i < listeners_.size()) {
        const size_t count = listeners_.size();
        listeners_[i]->MasterChanged(this, changed);
        if (listeners_.size() == count) ++i;
    }
    if (OnChanged) OnChanged(this, changed);
}

void TlfLookAndFeel::MasterChanged(TlfLookAndFeel*, TlfLookAndFeelValues changed) {
    NotifyChanged(changed & ~assignedValues_);
}

void TlfLookAndFeel::MasterDestroying(TlfLookAndFeel* sender) {
    if (sender == gRoot && master_ == nullptr) {
        // The root goes: nothing is left to follow.
        SaveValues();
        CompareWithSaved();
        return;
    }
    if (sender == master_) {
        SaveValues();
        master_ = nullptr;
        if (TlfLookAndFeel* next = Master()) next->AttachListener(this);
        CompareWithSaved();
    }
}

void TlfLookAndFeel::AttachListener(IlfLookAndFeelListener* listener) {
    if (!listener || (listener->IsController() && !isRoot_) || Contains(listeners_, listener)) return;
    listeners_.push_back(listener);
    if (listener->IsController() && isRoot_) ++gControllers;
}

void TlfLookAndFeel::DetachListener(IlfLookAndFeelListener* listener) {
    if (isDestroying_ || !Contains(listeners_, listener)) return;
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
    if (listener->IsController() && isRoot_ && --gControllers == 0) ClearAssignedValues();
}

TlfLookAndFeel* GlobalLookAndFeel() {
    if (!gRoot) {
        if (!gPainterNotifier) gPainterNotifier = new TSystemPaletteChangedNotifier;
        gRoot = new TlfLookAndFeel(nullptr, TlfLookAndFeel::TRootTag{});
        gRoot->Initialize();
    }
    return gRoot;
}

TlfLookAndFeel* GlobalLookAndFeelIfMade() { return gRoot; }

void FreeGlobalLookAndFeel() {
    delete gRoot;
    gRoot = nullptr;
    delete gPainterNotifier;
    gPainterNotifier = nullptr;
}

int LookAndFeelControllerCount() { return gControllers; }

// ------------------------------------------------------------------ controller

TlfLookAndFeelController::TlfLookAndFeelController(TComponent* owner) : TComponent(owner) {
    if (TlfLookAndFeel* root = GlobalLookAndFeel()) root->AttachListener(this);
}

TlfLookAndFeelController::~TlfLookAndFeelController() {
    if (TlfLookAndFeel* root = GlobalLookAndFeelIfMade()) root->DetachListener(this);
}

TlfLookAndFeelKind TlfLookAndFeelController::Kind() const {
    return GlobalLookAndFeelIfMade() ? GlobalLookAndFeelIfMade()->Kind() : lfUltraFlat;
}
void TlfLookAndFeelController::SetKind(TlfLookAndFeelKind kind) {
    if (TlfLookAndFeel* root = GlobalLookAndFeelIfMade()) root->SetKind(kind);
}
bool TlfLookAndFeelController::NativeStyle() const {
    return GlobalLookAndFeelIfMade() ? GlobalLookAndFeelIfMade()->NativeStyle() : false;
}
void TlfLookAndFeelController::SetNativeStyle(bool nativeStyle) {
    if (TlfLookAndFeel* root = GlobalLookAndFeelIfMade()) root->SetNativeStyle(nativeStyle);
}
TkrSkinName TlfLookAndFeelController::SkinName() const {
    return GlobalLookAndFeelIfMade() ? GlobalLookAndFeelIfMade()->SkinName() : TkrSkinName();
}
void TlfLookAndFeelController::SetSkinName(const TkrSkinName& name) {
    if (TlfLookAndFeel* root = GlobalLookAndFeelIfMade()) root->SetSkinName(name);
}
