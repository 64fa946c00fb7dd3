// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "SleepInhibitor.h"
#include "WindowOps.h"

class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;

namespace app {

class SingleInstance;

// A message box request, for callers that answer boxes themselves.
struct MessageBoxRequest {
    std::string text;
    int style;
    std::string title;  // the application title when the caller gave none
};

/*
 * The real window: fixed layout in twips (15 to a pixel at 96 dpi; Qt scales
 * for other densities), the five-button array, two centred lines, the progress
 * bar and the photograph. It runs the logic's handlers and gives the logic its
 * window operations.
 */
class QtMainWindow final : public QWidget, public WindowOps {
    Q_OBJECT

public:
    explicit QtMainWindow(SingleInstance* instance = nullptr, QWidget* parent = nullptr);
    ~QtMainWindow() override;

    void SetHandlers(WindowHandlers* handlers) { handlers_ = handlers; }
    // Runs Form_Load. Afterwards Finished() says whether start-up ended the program.
    void Start();
    // True once the window was closed or the program ended: nothing is left to run.
    bool Finished() const { return closed_ || ended_; }
    // The session ends (a signal to end): passed to the logic's Session_End.
    // A user's close request during an update is refused instead (closeEvent).
    void EndSession();
    // Boxes go to `answer` instead of the screen; it returns as if OK was pressed.
    void AnswerBoxesWith(std::function<void(const MessageBoxRequest&)> answer) {
        answerBox_ = std::move(answer);
    }

    static int TwipsToPixels(int twips);

    // WindowOps
    bool PreviousInstance() override;
    std::string ExecutableName() override;
    int VersionMajor() override;
    int VersionMinor() override;
    void SetCaption(const std::string& text) override;
    void ShowWindow() override;
    void CloseWindow() override;
    void EndProgram() override;
    void SetButtonVisible(int index, bool visible) override;
    void SetKeyboardFocus(int index) override;
    void SetLineText(Line line, const std::string& text) override;
    void SetProgressVisible(bool visible) override;
    void SetProgressMax(int max) override;
    void SetProgressValue(int value) override;
    int ProgressValue() override;
    void MessageBox(const std::string& text, int style,
                    const std::optional<std::string>& title) override;
    void Yield() override;
    void KeepAwake(bool on) override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Runs one handler while the window is open.
    void Dispatch(const std::function<void()>& handler);
    // Runs one handler; the program quits once the outermost one returns
    // with the window gone.
    void Run(const std::function<void()>& handler);

    SingleInstance* instance_;
    WindowHandlers* handlers_ = nullptr;
    std::array<QPushButton*, 5> buttons_{};
    QLabel* deviceName_ = nullptr;
    QLabel* statusText_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* picture_ = nullptr;
    std::function<void(const MessageBoxRequest&)> answerBox_;
    QMessageBox* shownBox_ = nullptr;
    SleepInhibitor awake_;
    int depth_ = 0;
    bool closed_ = false;
    bool ended_ = false;
};

}  // namespace app
