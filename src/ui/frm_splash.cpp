#include "ui/frm_splash.h"

#include <QEventLoop>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QSysInfo>
#include <QTimer>
#include <QVBoxLayout>

namespace kestu::ui {

namespace {
// A small tank with its water and outlet pipe, the program's picture.
QPixmap TankPicture()
{
    QPixmap picture(96, 112);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setPen(QPen(Qt::black, 2));
    p.drawRect(8, 8, 56, 96);
    p.fillRect(11, 48, 51, 53, QColor(0, 0, 255));
    p.setPen(QPen(QColor(0, 255, 255), 2));
    p.drawLine(11, 48, 61, 48);
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(64, 84, 92, 84);
    p.drawLine(64, 94, 92, 94);
    p.fillRect(65, 85, 27, 9, QColor(0, 0, 255));
    return picture;
}

QLabel* MakeLabel(const QString& name, const QString& text, QWidget* parent, int pointSize = 0, bool bold = false)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    if (pointSize > 0 || bold) {
        QFont font = label->font();
        if (pointSize > 0) font.setPointSize(pointSize);
        font.setBold(bold);
        label->setFont(font);
    }
    return label;
}
}  // namespace

frmSplash::frmSplash(QWidget* parent) : QFrame(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("Kestu*"));
    setAttribute(Qt::WA_ShowWithoutActivating);

    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("imgLogo"));
    picture->setPixmap(TankPicture());

    lblProductName = MakeLabel(QStringLiteral("lblProductName"), QStringLiteral("Kestu*"), this, 28, true);
    lblPlatform = MakeLabel(QStringLiteral("lblPlatform"), PlatformText(), this, 11);
    lblVersion = MakeLabel(QStringLiteral("lblVersion"), QStringLiteral("Version 1"), this, 11);
    lblStudyFolder = MakeLabel(QStringLiteral("lblStudyFolder"), QString(), this);
    lblStudyFolder->setTextFormat(Qt::PlainText);
    lblCredits = MakeLabel(QStringLiteral("lblCredits"),
                           QStringLiteral("Designed and programmed by the Kestu team for research on "
                                          "decision making in dynamic systems."),
                           this);
    lblNotice = MakeLabel(QStringLiteral("lblNotice"),
                          QStringLiteral("For use in approved research studies only. Your answers and your "
                                         "actions in the simulation are recorded on this computer for the "
                                         "study's analysis."),
                          this);

    auto* texts = new QVBoxLayout;
    texts->addWidget(lblProductName);
    texts->addWidget(lblPlatform);
    texts->addWidget(lblVersion);
    texts->addWidget(lblStudyFolder);
    texts->addSpacing(12);
    texts->addWidget(lblCredits);
    texts->addWidget(lblNotice);
    texts->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->addWidget(picture, 0, Qt::AlignTop);
    layout->addSpacing(16);
    layout->addLayout(texts, 1);

    setFixedWidth(520);
    setFrameShape(QFrame::Box);
    setLineWidth(2);
}

QString frmSplash::PlatformText()
{
    return QSysInfo::prettyProductName() + QStringLiteral(" (") + QSysInfo::currentCpuArchitecture() +
           QStringLiteral(")");
}

void frmSplash::HoldFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace kestu::ui
