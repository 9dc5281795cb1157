#include "app/converter_app.h"

#include <QApplication>
#include <QMessageBox>
#include <QPixmap>
#include <chrono>

#include "app/converter_dialog.h"
#include "app/remembered_choices.h"

namespace zelvio {
namespace {

/// Lets windows be mapped and painted before they are grabbed.
void settle() {
    for (int round = 0; round < 5; ++round) {
        QApplication::processEvents();
    }
}

/// Shows the outcome's box without waiting for the user, grabs it and saves the image.
class GrabbingPresenter final : public MessagePresenter {
  public:
    explicit GrabbingPresenter(QString path) : path_(std::move(path)) {}

    void show(const QString& text, const QString& caption, OutcomeIcon icon,
              const QString& detail) override {
        const auto box = makeMessageBox(text, caption, icon, detail, nullptr);
        box->show();
        settle();
        saved_ = box->grab().save(path_, "PNG");
        box->close();
    }
    bool saved() const { return saved_; }

  private:
    QString path_;
    bool saved_ = false;
};

}  // namespace

std::optional<ScreenshotState> screenshotStateNamed(const QString& name) {
    if (name == QLatin1String("empty")) {
        return ScreenshotState::Empty;
    }
    if (name == QLatin1String("converting")) {
        return ScreenshotState::Converting;
    }
    if (name == QLatin1String("outcome")) {
        return ScreenshotState::Outcome;
    }
    return std::nullopt;
}

bool ConverterApp::start(const StartOptions& options) {
    if (options.reset || qEnvironmentVariable("ZELVIO_GUI_RESET") == QLatin1String("1")) {
        forgetRememberedChoices();
    }
    ConverterDialog dialog;
    dialog.setRememberedChoices(loadRememberedChoices());
    dialog.fillPaths(options.inputPath, options.databasePath);
    dialog.exec();  // OK or Cancel: either way the program ends
    saveRememberedChoices(dialog.choicesToRemember());
    return false;
}

bool ConverterApp::saveScreenshot(const QString& path, ScreenshotState state,
                                  const StartOptions& options) {
    GrabbingPresenter presenter(path);
    PlatformFileChooser chooser;
    ConverterDialog dialog(presenter, chooser);
    dialog.fillPaths(options.inputPath, options.databasePath);
    dialog.show();
    settle();
    switch (state) {
        case ScreenshotState::Empty:
            break;
        case ScreenshotState::Converting:
            // A moment of a conversion that has run for 38 s.
            dialog.showConversionPreview(0.42, ConversionStage::Converting,
                                         std::chrono::seconds(38));
            settle();
            break;
        case ScreenshotState::Outcome:
            dialog.startConversion();
            while (dialog.isConverting()) {
                QApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            return presenter.saved();
    }
    const bool saved = dialog.grab().save(path, "PNG");
    dialog.reject();
    return saved;
}

}  // namespace zelvio
