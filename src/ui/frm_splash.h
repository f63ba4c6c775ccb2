#pragma once

#include <QFrame>

class QLabel;

namespace kestu::ui {

// The start-up window: product, version, platform, credits and a usage notice.
class frmSplash : public QFrame {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);

    // Keeps the window up for `milliseconds` while events (repaints) go on.
    void HoldFor(int milliseconds);

    // The platform the program runs on, as the splash names it.
    static QString PlatformText();

    QLabel* lblProductName;
    QLabel* lblPlatform;
    QLabel* lblVersion;
    QLabel* lblStudyFolder;  // where this run keeps its study; filled in by the start-up
    QLabel* lblCredits;
    QLabel* lblNotice;
};

}  // namespace kestu::ui
