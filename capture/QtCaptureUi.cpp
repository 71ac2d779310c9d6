#include "capture/QtCaptureUi.h"

#include <canberra.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QImage>
#include <QKeyEvent>
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

// The frozen screen over everything; a rectangle drawn on it with the
// mouse, its size shown beside it. The release or Enter confirms, Esc
// cancels. Coordinates are the screen's pixels, whatever the scaling.
class RectangleOverlay : public QWidget {
public:
    explicit RectangleOverlay(const QImage& screen)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::X11BypassWindowManagerHint),
          screen_(screen) {
        setAttribute(Qt::WA_DeleteOnClose, false);
        setCursor(Qt::CrossCursor);
        setMouseTracking(true);
        setFocusPolicy(Qt::StrongFocus);
        setWindowTitle(QStringLiteral("Lumagrabber - Draw a rectangle"));
    }
    bool Run(Rect& chosen) {
        QScreen* s = QGuiApplication::primaryScreen();
        setGeometry(s->geometry());
        show();
        raise();
        activateWindow();
        setFocus();
        // From now on, and during the wait below, every key and click counts.
        qApp->installEventFilter(this);
        // X refuses grabs for a window not yet on the screen: try until it is.
        QElapsedTimer waited;
        waited.start();
        QWindow* window = windowHandle();
        bool keyboard = false, mouse = false;
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
        window->setMouseGrabEnabled(false);
        window->setKeyboardGrabEnabled(false);
        hide();
        if (!accepted_) return false;
        chosen = result_;
        return true;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawImage(rect(), screen_);
        if (!dragging_ && result_.width == 0) return;
        const Rect c = Current();
        const QRect r = Logical(c);
        // Dimmed around, clear inside: what will be kept.
        p.fillRect(rect(), QColor(0, 0, 0, 90));
        p.drawImage(r, screen_, QRect(c.x, c.y, c.width, c.height));
        p.setPen(QPen(QColor(255, 64, 0), 1));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        const QString size = QStringLiteral("%1 x %2").arg(c.width).arg(c.height);
        const QPoint at = r.bottomRight() + QPoint(8, 8);
        p.fillRect(
            QRect(at, QSize(fontMetrics().horizontalAdvance(size) + 8, fontMetrics().height() + 4)),
            QColor(255, 255, 224));
        p.setPen(Qt::black);
        p.drawText(at + QPoint(4, fontMetrics().ascent() + 2), size);
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
        result_ = Current();
        dragging_ = false;
        if (result_.width > 0 && result_.height > 0) Finish(true);
        update();
    }
    // Keys are taken wherever Qt delivers them while the overlay is up: the
    // window may hold the keyboard before Qt counts it as focused.
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, e);
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Escape) Finish(false);
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && result_.width > 0) Finish(true);
        return true;
    }

private:
    double Ratio() const { return screen_.width() / static_cast<double>(std::max(1, width())); }
    QPoint ToPixels(QPointF p) const {
        return QPoint(std::clamp(static_cast<int>(p.x() * Ratio() + 0.5), 0, screen_.width()),
                      std::clamp(static_cast<int>(p.y() * Ratio() + 0.5), 0, screen_.height()));
    }
    // From the press to the pointer: the pixels between, the end's excluded.
    Rect Current() const {
        if (!dragging_) return result_;
        const int x = std::min(start_.x(), end_.x()), y = std::min(start_.y(), end_.y());
        return {x, y, std::abs(end_.x() - start_.x()), std::abs(end_.y() - start_.y())};
    }
    QRect Logical(const Rect& r) const {
        const double k = 1 / Ratio();
        return QRect(static_cast<int>(r.x * k), static_cast<int>(r.y * k),
                     static_cast<int>(r.width * k), static_cast<int>(r.height * k));
    }
    // The first answer stands: a release queued behind an Esc does not take it back.
    void Finish(bool accepted) {
        if (done_) return;
        accepted_ = accepted;
        done_ = true;
        loop_.quit();  // nothing to quit yet while the grabs are still being made
    }

    QImage screen_;
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

bool QtCaptureUi::ChooseRectangle(const RgbImage& screen, Rect& chosen) {
    releaseKeyboard_();
    RectangleOverlay overlay(ToQImage(screen));
    return overlay.Run(chosen);
}

bool QtCaptureUi::AskFileName(const std::string& proposed, const std::string& extension,
                              std::string& chosen) {
    releaseKeyboard_();
    QFileDialog dialog(nullptr, QStringLiteral("Lumagrabber - Save Capture As"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QString ext = QString::fromStdString(extension);
    dialog.setNameFilters({QStringLiteral("%1 files (*%2)").arg(ext.mid(1).toUpper(), ext),
                           QStringLiteral("All Files (*)")});
    dialog.setDefaultSuffix(QString());  // the capture adds the action's own
    const QString path = QString::fromStdString(proposed);
    dialog.setDirectory(QFileInfo(path).absolutePath());
    dialog.selectFile(QFileInfo(path).fileName());
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint);
    dialog.show();
    dialog.raise();
    dialog.activateWindow();
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    chosen = dialog.selectedFiles().front().toStdString();
    return true;
}

bool QtCaptureUi::PutOnClipboard(const RgbImage& image, const OutputPlan& plan,
                                 std::string& error) {
    // The action's own format too, where desktop programs take it.
    const char* mime = plan.format == ImageFormat::Bmp   ? "image/bmp"
                       : plan.format == ImageFormat::Jpg ? "image/jpeg"
                       : plan.format == ImageFormat::Tif ? "image/tiff"
                                                         : nullptr;
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

void QtCaptureUi::PlaySound(const std::string& path) {
    if (IsOtherDesktopPath(path)) {
        report_("sound '" + path + "' is a path of another desktop; no sound is played");
        return;
    }
    if (!sound_ && !soundFailed_) {
        if (ca_context_create(&sound_) != CA_SUCCESS) {
            sound_ = nullptr;
            soundFailed_ = true;
        } else {
            ca_context_change_props(sound_, CA_PROP_APPLICATION_NAME, "Lumagrabber", nullptr);
        }
    }
    const int rc = sound_
                       ? ca_context_play(sound_, 1, CA_PROP_MEDIA_FILENAME, path.c_str(), nullptr)
                       : CA_ERROR_NOTAVAILABLE;
    if (rc != CA_SUCCESS) {
        report_("sound '" + path + "' cannot be played: " + Lower(ca_strerror(rc)));
    }
}
