#include "platform/ui/qt/qt_backend.h"

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/canvas.h"
#include "platform/codepage.h"
#include "platform/errors.h"
#include "platform/ui/forms.h"

namespace {

// Runs the toolkit when Qt delivers the wake-up event.
class TWaker : public QObject {
public:
    explicit TWaker(TQtBackend& backend) : backend_(backend) {}
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User) return QObject::event(event);
        backend_.RunToolkit();
        return true;
    }

private:
    TQtBackend& backend_;
};

bool CanRunQt() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

// The write end of the pipe a termination signal writes to.
int signalWriteFd = -1;

void OnTerminationSignal(int) {
    const char byte = 1;
    if (signalWriteFd >= 0) (void)!write(signalWriteFd, &byte, 1);
}

const bool registered = [] {
    RegisterUIBackend("qt", [] { return std::unique_ptr<TUIBackend>(new TQtBackend()); }, CanRunQt);
    return true;
}();

}  // namespace

TQtBackend::TQtBackend() {
    (void)registered;
    if (QCoreApplication::instance()) throw Exception("A Qt application exists already.");
    app_ = std::make_unique<QApplication>(ProgramArgc(), ProgramArgv());
    // The toolkit decides when the program ends (its main form), not Qt.
    QApplication::setQuitOnLastWindowClosed(false);
    waker_ = std::make_unique<TWaker>(*this);
    timer_ = std::make_unique<QTimer>();
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { RunToolkit(); });
    clock_.start();
    WatchTerminationSignals();
    InstallQtTheme();
}

void TQtBackend::WatchTerminationSignals() {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return;
    signalWriteFd = fds[0];
    signalNotifier_ = std::make_unique<QSocketNotifier>(fds[1], QSocketNotifier::Read);
    QObject::connect(signalNotifier_.get(), &QSocketNotifier::activated, [fd = fds[1]] {
        char byte;
        (void)!read(fd, &byte, 1);
        if (Application().MainForm) Application().MainForm->Close();
        else Application().Terminate();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

TQtBackend::~TQtBackend() {
    RemoveQtTheme();
    if (signalNotifier_) {
        std::signal(SIGTERM, SIG_DFL);
        std::signal(SIGINT, SIG_DFL);
        const int readFd = static_cast<int>(signalNotifier_->socket());
        signalNotifier_.reset();
        close(readFd);
        close(signalWriteFd);
        signalWriteFd = -1;
    }
    timer_.reset();
    waker_.reset();
    // Objects Qt itself released with deleteLater go before the application.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app_.reset();
}

TQtWindow* TQtBackend::WindowOf(TWinControl& control) { return dynamic_cast<TQtWindow*>(control.NativeWindow()); }

std::unique_ptr<TNativeWindow> TQtBackend::CreateNativeWindow(TWinControl& control, TNativeWindow* parent) {
    return std::make_unique<TQtWindow>(control, dynamic_cast<TQtWindow*>(parent));
}

uint64_t TQtBackend::Now() { return static_cast<uint64_t>(clock_.elapsed()) + 1; }

void TQtBackend::WaitForEvents(int64_t timeoutMs) {
    if (timeoutMs <= 0) return;
    // The toolkit's next timer is armed, so the wait ends in time.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TQtBackend::Wake() {
    if (!wakePending_.exchange(true)) QCoreApplication::postEvent(waker_.get(), new QEvent(QEvent::User));
}

void TQtBackend::RunToolkit() {
    wakePending_ = false;
    Application().ProcessMessages();
}

void TQtBackend::ScheduleTimer(int64_t ms) {
    if (ms < 0) {
        timer_->stop();
    } else {
        timer_->start(static_cast<int>(std::min<int64_t>(ms, 24 * 3600 * 1000)));
    }
}

void TQtBackend::RunUntil(const std::function<bool()>& done) {
    Application().ProcessMessages();
    while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

int TQtBackend::GetSystemMetric(TSystemMetric metric) const {
    switch (metric) {
        case SM_CXVSCROLL:
        case SM_CYHSCROLL: return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        case SM_CXBORDER:
        case SM_CYBORDER: return 1;
        case SM_CXEDGE:
        case SM_CYEDGE: return 2;
    }
    return 0;
}

// ---------------------------------------------------------------- clipboard

void TQtBackend::SetClipboard(const TClipboardData& data) {
    auto* mime = new QMimeData();
    for (const auto& [type, bytes] : data) {
        if (type == "text/plain") {
            mime->setText(QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size())));
        } else {
            mime->setData(QString::fromStdString(type), QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
        }
    }
    QGuiApplication::clipboard()->setMimeData(mime);
}

TClipboardData TQtBackend::Clipboard() const {
    TClipboardData data;
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (!mime) return data;
    for (const QString& format : mime->formats()) {
        if (format == "text/plain") {
            data.emplace_back("text/plain", mime->text().toStdString());
        } else {
            const QByteArray bytes = mime->data(format);
            data.emplace_back(format.toStdString(), std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
        }
    }
    return data;
}

// ---------------------------------------------------------------- dialogs

int TQtBackend::MessageBox(const std::u16string& text, const std::u16string& caption, uint32_t flags) {
    // Unattended runs (the program's own tests) name a file that collects
    // the messages; the box then answers its first button at once.
    if (const char* log = std::getenv("TW_UI_MESSAGE_LOG"); log && *log) {
        std::ofstream(log, std::ios::app) << WideToUtf8(caption) << ": " << WideToUtf8(text) << "\n";
        return (flags & 0xF) == MB_YESNO ? IDYES : IDOK;
    }
    QMessageBox box;
    box.setWindowTitle(ToQString(caption));
    box.setText(ToQString(text));
    switch (flags & 0xF0) {
        case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
        case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
        case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
        case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    }
    switch (flags & 0xF) {
        case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    switch (box.exec()) {
        case QMessageBox::Cancel: return IDCANCEL;
        case QMessageBox::Yes: return IDYES;
        case QMessageBox::No: return IDNO;
    }
    return IDOK;
}

namespace {
// "Pictures|*.png;*.jpg|All|*" becomes "Pictures (*.png *.jpg);;All (*)".
QStringList QtFilters(const std::u16string& filter) {
    const QStringList parts = ToQString(filter).split('|');
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        result << parts[i] + " (" + patterns + ")";
    }
    return result;
}
}  // namespace

bool TQtBackend::FileDialog(TFileDialogRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), ToQString(request.Title), ToQString(request.InitialDir));
    // The non-native dialog: the same on every desktop, and it can host a
    // preview panel.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(request.Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.Save ? QFileDialog::AnyFile
                                    : request.MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    const QStringList filters = QtFilters(request.Filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        if (request.FilterIndex >= 1 && request.FilterIndex <= filters.size())
            dialog.selectNameFilter(filters[request.FilterIndex - 1]);
    }
    if (!request.FileName.empty()) dialog.selectFile(ToQString(request.FileName));
    if (dialog.exec() != QDialog::Accepted) return false;
    request.Files.clear();
    for (const QString& file : dialog.selectedFiles()) request.Files.push_back(FromQString(file));
    request.FilterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    return !request.Files.empty();
}

namespace {
QColor QtColor(uint32_t color) { return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF); }
uint32_t ToolkitColor(const QColor& color) {
    return static_cast<uint32_t>(color.red() | color.green() << 8 | color.blue() << 16);
}
}  // namespace

bool TQtBackend::ColorDialog(uint32_t& color, std::vector<uint32_t>& customColors) {
    // Qt keeps the custom colours of every colour dialog of the process:
    // the caller's go in before, and what the user made of them comes back
    // whether or not the dialog is confirmed.
    const int count = QColorDialog::customCount();
    for (int i = 0; i < count && i < static_cast<int>(customColors.size()); ++i)
        QColorDialog::setCustomColor(i, QtColor(customColors[static_cast<size_t>(i)]));
    const QColor chosen = QColorDialog::getColor(QtColor(color), QApplication::activeWindow());
    customColors.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) customColors[static_cast<size_t>(i)] = ToolkitColor(QColorDialog::customColor(i));
    if (!chosen.isValid()) return false;
    color = ToolkitColor(chosen);
    return true;
}

bool TQtBackend::FontDialog(TCanvasFont& font) {
    QFont initial(QString::fromStdString(font.Name));
    initial.setPixelSize(std::max(1, std::abs(font.Height)));
    initial.setBold(font.Bold);
    initial.setItalic(font.Italic);
    initial.setUnderline(font.Underline);
    initial.setStrikeOut(font.StrikeOut);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, QApplication::activeWindow());
    if (!ok) return false;
    font.Name = chosen.family().toStdString();
    if (chosen.pixelSize() > 0) font.Height = -chosen.pixelSize();
    else font.SetSize(static_cast<int32_t>(chosen.pointSizeF() + 0.5));
    font.Bold = chosen.bold();
    font.Italic = chosen.italic();
    font.Underline = chosen.underline();
    font.StrikeOut = chosen.strikeOut();
    return true;
}

bool TQtBackend::OpenURL(const std::string& url) {
    return QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(url)));
}

// ---------------------------------------------------------------- screen

namespace {
TRect ToRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }
}  // namespace

TRect TQtBackend::ScreenRect() const {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? ToRect(screen->geometry()) : TUIBackend::ScreenRect();
}

TRect TQtBackend::WorkArea() const {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? ToRect(screen->availableGeometry()) : TUIBackend::WorkArea();
}

double TQtBackend::DevicePixelRatio() const {
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}

// ---------------------------------------------------------------- pop-up menus

void TQtBackend::PopupMenu(TMenu& menu, int x, int y) {
    QMenu popup(QApplication::activeWindow());
    TQtMenuBuilder builder(menu, &popup);
    builder.Update();
    QAction* chosen = popup.exec(QPoint(x, y));
    menu.ItemSelected(nullptr);
    // The chosen item runs once the menu is gone, as a posted command would.
    if (TMenuItem* item = chosen ? builder.ItemOf(chosen) : nullptr) item->Click();
}
