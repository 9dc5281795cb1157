#pragma once
// How the dialog tells the user the outcome of a conversion.

#include <QString>
#include <memory>

#include "job/conversion_job.h"

class QMessageBox;
class QWidget;

namespace zelvio {

/// Shows one message and returns when the user has read it. The converter dialog talks to this
/// interface only, so that tests can record the messages instead of showing boxes.
class MessagePresenter {
  public:
    virtual ~MessagePresenter() = default;

    /// Shows text under caption with the icon; detail, when not empty, is the box's second,
    /// smaller text. Blocks until the message is dismissed.
    virtual void show(const QString& text, const QString& caption, OutcomeIcon icon,
                      const QString& detail) = 0;
    /// Asks a yes-or-no question under caption and returns true for yes. Blocks until answered.
    /// Without a way to ask, the answer is yes.
    virtual bool confirm(const QString& question, const QString& caption) {
        (void)question;
        (void)caption;
        return true;
    }
};

/// Shows messages as modal QMessageBoxes owned by a parent window.
class MessageBoxPresenter final : public MessagePresenter {
  public:
    /// parent owns the boxes (may be null); it must outlive the presenter's use.
    explicit MessageBoxPresenter(QWidget* parent = nullptr) : parent_(parent) {}

    void show(const QString& text, const QString& caption, OutcomeIcon icon,
              const QString& detail) override;
    bool confirm(const QString& question, const QString& caption) override;

  private:
    QWidget* parent_;
};

/// The box MessageBoxPresenter shows, made but not shown: the icon, caption and text, detail as
/// its informative text when not empty, and an OK button.
std::unique_ptr<QMessageBox> makeMessageBox(const QString& text, const QString& caption,
                                            OutcomeIcon icon, const QString& detail,
                                            QWidget* parent);

}  // namespace zelvio
