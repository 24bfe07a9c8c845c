// Look-and-feel objects: a small settings object a control owns and asks
// which painter to draw with. It holds the kind (flat, standard,
// ultra-flat, Office 2003), whether the desktop's visual styles are used
// (native style) and the name of an extended-style painter, each set on the
// object itself or taken from its master. Look and feels form a tree whose
// root is one global object; changes travel down the tree to each object's
// listeners and end in the owning control's change event. A controller sets
// the root's values for a whole program, and a hidden window tells every
// look and feel (and the painters' image caches) of a change of the system
// colours.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "navbar/lf_classes.h"
#include "navbar/lf_painter_images.h"
#include "navbar/lf_painters.h"
#include "navbar/lf_theme.h"
#include "navbar/lf_timer.h"

enum TlfLookAndFeelValue : uint8_t { lfvKind = 0, lfvNativeStyle = 1, lfvSkinName = 2 };
// A set of values: bit n is value n.
using TlfLookAndFeelValues = uint8_t;
constexpr TlfLookAndFeelValues lfvsKind = 1, lfvsNativeStyle = 2, lfvsSkinName = 4, lfvsAll = 7;
using TkrSkinName = std::string;

struct TlfLookAndFeelData {
    TlfLookAndFeelKind Kind = lfUltraFlat;
    bool NativeStyle = false;
    TkrSkinName SkinName;
    TlfPainterClass ChosenPainter = nullptr;  // the current values only
};

class TlfLookAndFeel;

// Every party that listens to a look and feel.
class IlfLookAndFeelListener {
public:
    virtual ~IlfLookAndFeelListener() = default;
    virtual void* ListenerObject() = 0;
    virtual void MasterChanged(TlfLookAndFeel* sender, TlfLookAndFeelValues changed) = 0;
    virtual void MasterDestroying(TlfLookAndFeel* sender) = 0;
    // A controller's listener (controllers listen to the root alone).
    virtual bool IsController() const { return false; }
};

// Told of a change of the system colours. Primary notifiers are told
// before the others.
class TlfSystemPaletteChangedNotifier {
public:
    explicit TlfSystemPaletteChangedNotifier(bool primary);
    virtual ~TlfSystemPaletteChangedNotifier();
    TlfSystemPaletteChangedNotifier(const TlfSystemPaletteChangedNotifier&) = delete;
    TlfSystemPaletteChangedNotifier& operator=(const TlfSystemPaletteChangedNotifier&) = delete;
    bool Primary() const { return primary_; }
    std::function<void()> OnChanged;
    virtual void Notify() {
        if (OnChanged) OnChanged();
    }

private:
    bool primary_;
};

// The hidden window that hears of a change of the system colours (the
// desktop's palette change through the platform's look, or
// WM_SYSCOLORCHANGE sent to it). At most one exists.
class TlfSystemPaletteChangedListener : public TlfMessageWindow {
public:
    TlfSystemPaletteChangedListener();
    ~TlfSystemPaletteChangedListener() override;
    std::vector<TlfSystemPaletteChangedNotifier*> Notifiers, PrimaryNotifiers;

protected:
    void WndProc(TMessage& message) override;

private:
    int themeListener_ = 0;
};
TlfSystemPaletteChangedListener* AcquirePaletteListener();
void ReleasePaletteListener();
// The listener while one exists, else nullptr.
TlfSystemPaletteChangedListener* PaletteListener();

class TlfLookAndFeel : public TlfInterfacedPersistent, public IlfLookAndFeelListener, public IlfSkinPaintersListener {
public:
    explicit TlfLookAndFeel(void* owner);
    ~TlfLookAndFeel() override;
    TlfLookAndFeel(const TlfLookAndFeel&) = delete;
    TlfLookAndFeel& operator=(const TlfLookAndFeel&) = delete;

    TlfLookAndFeelValues AssignedValues() const { return assignedValues_; }
    void SetAssignedValues(TlfLookAndFeelValues values);
    TlfLookAndFeelKind Kind() const { return currentValues_.Kind; }
    void SetKind(TlfLookAndFeelKind kind);
    bool NativeStyle() const { return currentValues_.NativeStyle; }
    void SetNativeStyle(bool nativeStyle);
    const TkrSkinName& SkinName() const { return currentValues_.SkinName; }
    void SetSkinName(const TkrSkinName& name);
    // A value is written to a form only when it is assigned here.
    bool IsValueStored(TlfLookAndFeelValue value) const { return assignedValues_ & (1u << value); }

    // nullptr for the root; else the explicit master, or the root.
    TlfLookAndFeel* Master() const;
    void SetMaster(TlfLookAndFeel* master);
    bool IsRoot() const { return isRoot_; }
    bool IsDestroying() const { return isDestroying_; }

    TlfPainterClass CurrentPainter() const { return currentValues_.ChosenPainter; }
    TlfPainterClass ExtendedStylePainter() const { return extendedStylePainter_; }
    TlfPainterClass ResolvePainter(TkrThemedObjectType themeClass) const;
    TlfPainterClass ResolvePainterForSet(std::initializer_list<TkrThemedObjectType> themeClasses) const;

    void Assign(const TlfLookAndFeel& source);
    void ClearAssignedValues() { SetAssignedValues(0); }
    void AttachListener(IlfLookAndFeelListener* listener);
    void DetachListener(IlfLookAndFeelListener* listener);
    int ListenerCount() const { return static_cast<int>(listeners_.size()); }
    void NotifyChanged(TlfLookAndFeelValues changed);

    std::function<void(TlfLookAndFeel* sender, TlfLookAndFeelValues changed)> OnChanged;

    // IlfLookAndFeelListener
    void* ListenerObject() override { return this; }
    void MasterChanged(TlfLookAndFeel* sender, TlfLookAndFeelValues changed) override;
    void MasterDestroying(TlfLookAndFeel* sender) override;
    // IlfSkinPaintersListener
    void SkinPaintersChanged() override { NotifyChanged(lfvsAll); }

protected:
    virtual TlfLookAndFeelKind ResolveKind() const;
    virtual bool ResolveNativeStyle() const;
    virtual TkrSkinName ResolveSkinName() const;
    virtual TlfPainterClass ResolveSkinPainter() const;
    virtual bool FindSkinPainter(const TkrSkinName& name, TlfPainterClass& painter) const;
    virtual void PaletteChanged() { NotifyChanged(lfvsNativeStyle); }

private:
    friend TlfLookAndFeel* GlobalLookAndFeel();
    struct TRootTag {};
    TlfLookAndFeel(void* owner, TRootTag);
    void Initialize();
    // The master values come from (explicit master, else the root).
    TlfLookAndFeel* InheritFrom() const;
    void SaveValues() { savedValues_ = currentValues_; }
    void CompareWithSaved();

    TlfLookAndFeelValues assignedValues_ = 0;
    std::vector<IlfLookAndFeelListener*> listeners_;
    TlfLookAndFeelData currentValues_, ownValues_, savedValues_;
    bool isDestroying_ = false, isRoot_ = false;
    TlfLookAndFeel* master_ = nullptr;
    TlfPainterClass extendedStylePainter_ = nullptr;
    bool listensToRegistry_ = false;
    std::unique_ptr<TlfSystemPaletteChangedNotifier> paletteNotifier_;
};

// The root look and feel, made on first use (with the painters' own
// system-colour notifier); it lives until FreeGlobalLookAndFeel.
TlfLookAndFeel* GlobalLookAndFeel();
// The root while it exists, else nullptr.
TlfLookAndFeel* GlobalLookAndFeelIfMade();
// Frees the root (the unit's end): look and feels left have no root until
// the next one is made.
void FreeGlobalLookAndFeel();
// How many controllers listen to the root.
int LookAndFeelControllerCount();

// Sets the root's values for the whole program.
class TlfLookAndFeelController : public TComponent, public IlfLookAndFeelListener {
public:
    explicit TlfLookAndFeelController(TComponent* owner);
    ~TlfLookAndFeelController() override;
    TlfLookAndFeelKind Kind() const;
    void SetKind(TlfLookAndFeelKind kind);
    bool NativeStyle() const;
    void SetNativeStyle(bool nativeStyle);
    TkrSkinName SkinName() const;
    void SetSkinName(const TkrSkinName& name);
    // SkinName is stored only when not empty.
    bool IsSkinNameStored() const { return !SkinName().empty(); }

    void* ListenerObject() override { return this; }
    void MasterChanged(TlfLookAndFeel* sender, TlfLookAndFeelValues changed) override {}
    void MasterDestroying(TlfLookAndFeel* sender) override {}
    bool IsController() const override { return true; }
};
