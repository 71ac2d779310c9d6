#include "capture/QtCaptureUi.h"

#include <canberra.h>
#include <dlfcn.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QStringList>
#include <QVariant>
#include <QWidget>
#include <QWindow>
#include <algorithm>

#include "capture/Encoders.h"
#include "capture/TargetFile.h"

namespace {

QImage ToQImage(const RgbImage& image) {
    QImage out(image.width, image.height, QImage::Format_RGB32);
    const std::uint32_t* in = image.Pixels().data();
    for (int y = 0; y < image.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        const std::uint32_t* row = in + static_cast<std::size_t>(y) * image.width;
        for (int x = 0; x < image.width; ++x) line[x] = 0xFF000000u | row[x];
    }
    return out;
}

// The clipboard's content: the image, which Qt offers as PNG and more, and
// the action's own format, encoded only when a program asks for it.
class CaptureMimeData : public QMimeData {
public:
    CaptureMimeData(QImage image, const OutputPlan& plan, const char* mime)
        : image_(std::move(image)), plan_(plan), mime_(QString::fromLatin1(mime ? mime : "")) {
        setImageData(image_);
    }
    QStringList formats() const override {
        QStringList list = QMimeData::formats();
        if (!mime_.isEmpty() && !list.contains(mime_)) list.prepend(mime_);
        return list;
    }
    bool hasFormat(const QString& mime) const override { return formats().contains(mime); }

protected:
    QVariant retrieveData(const QString& mime, QMetaType type) const override {
        if (mime_.isEmpty() || mime != mime_) return QMimeData::retrieveData(mime, type);
        RgbImage pixels(image_.width(), image_.height());
        for (int y = 0; y < image_.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image_.constScanLine(y));
            std::copy(line, line + image_.width(), &pixels.At(0, y));
        }
        std::string bytes, error;
        if (!EncodeImage(pixels, plan_, bytes, error)) return {};
        return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
    }

private:
    QImage image_;
    OutputPlan plan_;
    QString mime_;
};

// The frozen screen over every monitor; a rectangle drawn on it with the
// mouse, its size shown beside it. The release or Enter confirms, Esc
// cancels. The tool runs Qt unscaled, so a widget's pixel is a screen pixel,
// or scale of them where the desktop's pictures are finer (scaled Wayland).
class RectangleOverlay : public QWidget {
public:
    RectangleOverlay(const QImage& screen, const std::vector<Rect>& monitors, double scale)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::X11BypassWindowManagerHint),
          screen_(screen),
          monitors_(monitors),
          scale_(scale > 0 ? scale : 1) {
        setAttribute(Qt::WA_DeleteOnClose, false);
        setCursor(Qt::CrossCursor);
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        setWindowTitle(QStringLiteral("Lumagrabber - Draw a rectangle"));
    }
    bool Run(Rect& chosen) {
        // One window over the whole screen, every monitor included; a
        // Wayland compositor places windows itself (full screen there) and
        // gives the focused window the keys without any grab.
        const bool wayland = QGuiApplication::platformName() == QLatin1String("wayland");
        if (wayland) {
            showFullScreen();
        } else {
            setGeometry(0, 0, static_cast<int>(screen_.width() / scale_),
                        static_cast<int>(screen_.height() / scale_));
            show();
        }
        raise();
        activateWindow();
        setFocus();
        // From now on, and during the wait below, every key and click counts.
        qApp->installEventFilter(this);
        // X refuses grabs for a window not yet on the screen: try until it is.
        QElapsedTimer waited;
        waited.start();
        QWindow* window = windowHandle();
        bool keyboard = wayland, mouse = wayland;
        while (!(keyboard && mouse) && !done_ && waited.elapsed() < 2000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (window->isExposed()) {
                keyboard = keyboard || window->setKeyboardGrabEnabled(true);
                mouse = mouse || window->setMouseGrabEnabled(true);
            }
        }
        activateWindow();
        if (!done_) loop_.exec();
        qApp->removeEventFilter(this);
        if (!wayland) {
            window->setMouseGrabEnabled(false);
            window->setKeyboardGrabEnabled(false);
        }
        hide();
        if (!accepted_) return false;
        chosen = result_;
        return true;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.scale(1 / scale_, 1 / scale_);  // the picture's pixels from here on
        p.drawImage(0, 0, screen_);
        if (!dragging_) return;
        const Rect c = Current();
        const QRect r(c.x, c.y, c.width, c.height);
        // Dimmed around, clear inside: what will be kept.
        p.fillRect(screen_.rect(), QColor(0, 0, 0, 90));
        p.drawImage(r.topLeft(), screen_, r);
        p.setPen(QPen(QColor(255, 64, 0), scale_));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        // The size in the window's own pixels, so that its text is as large
        // as the desktop's.
        const QString size = QStringLiteral("%1 x %2").arg(c.width).arg(c.height);
        const QSize box(static_cast<int>((fontMetrics().horizontalAdvance(size) + 8) * scale_),
                        static_cast<int>((fontMetrics().height() + 4) * scale_));
        const QRect label = LabelPlace(r, box);
        p.fillRect(label, QColor(255, 255, 224));
        p.resetTransform();
        p.setPen(Qt::black);
        p.drawText(QPointF(label.topLeft()) / scale_ + QPointF(4, fontMetrics().ascent() + 2),
                   size);
    }
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton) return;
        dragging_ = true;
        start_ = end_ = ToPixels(e->position());
        update();
    }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (!dragging_) return;
        end_ = ToPixels(e->position());
        update();
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() != Qt::LeftButton || !dragging_) return;
        end_ = ToPixels(e->position());
        TakeIfItHasArea();
        dragging_ = false;  // a line has no area: draw again
        update();
    }
    // Keys are taken wherever Qt delivers them while the overlay is up: the
    // window may hold the keyboard before Qt counts it as focused.
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, e);
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Escape) Finish(false);
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && dragging_) TakeIfItHasArea();
        return true;
    }

private:
    QPoint ToPixels(QPointF p) const {
        const double k = devicePixelRatioF() * scale_;
        return QPoint(std::clamp(static_cast<int>(p.x() * k), 0, screen_.width() - 1),
                      std::clamp(static_cast<int>(p.y() * k), 0, screen_.height() - 1));
    }
    // From the press to the pointer, both corners included.
    Rect Current() const {
        const int x = std::min(start_.x(), end_.x()), y = std::min(start_.y(), end_.y());
        return {x, y, std::abs(end_.x() - start_.x()) + 1, std::abs(end_.y() - start_.y()) + 1};
    }
    void TakeIfItHasArea() {
        if (start_.x() == end_.x() || start_.y() == end_.y()) return;
        result_ = Current();
        Finish(true);
    }
    // Beside the rectangle's far corner, inside the monitor that shows it.
    QRect LabelPlace(const QRect& r, const QSize& box) const {
        QRect monitor(0, 0, screen_.width(), screen_.height());
        for (const Rect& m : monitors_)
            if (m.Contains(end_.x(), end_.y())) monitor = QRect(m.x, m.y, m.width, m.height);
        QPoint at = r.bottomRight() + QPoint(8, 8);
        if (at.x() + box.width() > monitor.right()) at.setX(r.left() - box.width() - 8);
        if (at.y() + box.height() > monitor.bottom()) at.setY(r.top() - box.height() - 8);
        at.setX(std::clamp(at.x(), monitor.left(), monitor.right() - box.width()));
        at.setY(std::clamp(at.y(), monitor.top(), monitor.bottom() - box.height()));
        return QRect(at, box);
    }
    // The first answer stands: a release queued behind an Esc does not take it back.
    void Finish(bool accepted) {
        if (done_) return;
        accepted_ = accepted;
        done_ = true;
        loop_.quit();  // nothing to quit yet while the grabs are still being made
    }

    QImage screen_;
    std::vector<Rect> monitors_;
    double scale_;
    QEventLoop loop_;
    bool dragging_ = false, accepted_ = false, done_ = false;
    QPoint start_, end_;
    Rect result_;
};

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

QtCaptureUi::QtCaptureUi(std::function<void(const std::string&)> report,
                         std::function<void()> releaseKeyboard,
                         std::function<void(unsigned long)> stampWindow)
    : report_(std::move(report)),
      releaseKeyboard_(std::move(releaseKeyboard)),
      stampWindow_(std::move(stampWindow)) {}

QtCaptureUi::~QtCaptureUi() {
    if (sound_) ca_context_destroy(sound_);
}

bool QtCaptureUi::ChooseRectangle(const RgbImage& screen, const std::vector<Rect>& monitors,
                                  double scale, Rect& chosen) {
    releaseKeyboard_();
    RectangleOverlay overlay(ToQImage(screen), monitors, scale);
    return overlay.Run(chosen);
}

namespace {

// The save dialog decides the final name itself, so that it can ask before
// replacing that file, whatever was typed, and refuse a folder that is not
// there while the person can still choose another.
class SaveAsDialog : public QFileDialog {
public:
    SaveAsDialog(const std::string& extension)
        : QFileDialog(nullptr, QStringLiteral("Lumagrabber - Save Capture As")),
          extension_(extension) {
        setOption(QFileDialog::DontUseNativeDialog);
        setOption(QFileDialog::DontConfirmOverwrite);  // asked below, of the final name
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        const QString ext = QString::fromStdString(extension);
        setNameFilters({QStringLiteral("%1 files (*%2)").arg(ext.mid(1).toUpper(), ext),
                        QStringLiteral("All Files (*)")});
        setDefaultSuffix(QString());
        setWindowFlag(Qt::WindowStaysOnTopHint);
    }
    std::string chosen;

protected:
    void accept() override {
        const QStringList files = selectedFiles();
        if (files.isEmpty() || QFileInfo(files.front()).isDir()) {
            QFileDialog::accept();  // opens the folder typed
            return;
        }
        const QString name =
            QString::fromStdString(SaveAsName(files.front().toStdString(), extension_));
        const QFileInfo info(name);
        if (!info.absoluteDir().exists()) {
            QMessageBox::warning(this, QStringLiteral("Lumagrabber - Folder Not Found"),
                                 QStringLiteral("The folder %1 does not exist.")
                                     .arg(QDir::toNativeSeparators(info.absolutePath())));
            return;
        }
        if (info.exists() &&
            QMessageBox::question(this, QStringLiteral("Lumagrabber - Confirm Save As"),
                                  QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                      .arg(info.fileName()),
                                  QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::No) != QMessageBox::Yes) {
            return;
        }
        chosen = name.toStdString();
        QFileDialog::accept();
    }

private:
    std::string extension_;
};

}  // namespace

bool QtCaptureUi::AskFileName(const std::string& proposed, const std::string& extension,
                              std::string& chosen) {
    releaseKeyboard_();
    SaveAsDialog dialog(extension);
    const QString path = QString::fromStdString(proposed);
    dialog.setDirectory(QFileInfo(path).absolutePath());
    dialog.selectFile(QFileInfo(path).fileName());
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    if (dialog.exec() != QDialog::Accepted || dialog.chosen.empty()) return false;
    chosen = dialog.chosen;
    return true;
}

bool QtCaptureUi::PutOnClipboard(const RgbImage& image, const OutputPlan& plan,
                                 std::string& error) {
    // The action's own format too, where desktop programs take it.
    const char* mime = InfoOf(plan.format).mime;
    auto* data = new CaptureMimeData(ToQImage(image), plan, mime);
    // Qt claims the clipboard with the time of the last event it saw, and
    // hot keys reach another connection: a program that took the clipboard
    // since then would win, and the server ignore the claim. A property
    // change on a window of Qt's brings it the server's time first.
    if (!stamped_) {
        stamped_ = std::make_unique<QWidget>();
        stamped_->winId();
    }
    stampWindow_(stamped_->winId());
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10) QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    if (!QGuiApplication::clipboard()->ownsClipboard()) {
        error = "the clipboard could not be taken";
        return false;
    }
    error.clear();
    return true;
}

bool QtCaptureUi::OwnsClipboard() const {
    return QGuiApplication::clipboard()->ownsClipboard();
}

namespace {

void Silent(const char*, int, const char*, int, const char*, ...) {}

// ALSA prints its complaints itself, on every try, where no sound device
// works; the tool says once what matters instead.
void QuietenAlsa() {
    void* alsa = dlopen("libasound.so.2", RTLD_LAZY);
    if (!alsa) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    if (auto set = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler")))
        set(Silent);
}

}  // namespace

void QtCaptureUi::PlaySound(const std::string& path) {
    // A missing file and a path of the other desktop are the plan's to report.
    if (IsOtherDesktopPath(path) || !FileExists(path) || soundFailed_) return;
    if (!sound_) {
        QuietenAlsa();
        if (ca_context_create(&sound_) != CA_SUCCESS) {
            sound_ = nullptr;
        } else {
            ca_context_change_props(sound_, CA_PROP_APPLICATION_NAME, "Lumagrabber", nullptr);
        }
    }
    const int rc =
        sound_ ? ca_context_play(sound_, kSoundId, CA_PROP_MEDIA_FILENAME, path.c_str(), nullptr)
               : CA_ERROR_NOTAVAILABLE;
    if (rc != CA_SUCCESS) {
        // No device, or a file it cannot play: not tried again until the
        // configuration is read anew.
        soundFailed_ = true;
        report_("sound '" + path + "' cannot be played: " + Lower(ca_strerror(rc)) +
                "; no more sounds are tried until the configuration changes");
    }
}

void QtCaptureUi::ResetSound() {
    soundFailed_ = false;
}

bool QtCaptureUi::SoundPlaying() const {
    int playing = 0;
    return sound_ && ca_context_playing(sound_, kSoundId, &playing) == CA_SUCCESS && playing;
}
