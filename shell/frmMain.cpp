#include "frmMain.h"

#include "examples/ExamplePacks.h"
#include "examples/Form5.h"
#include "navigation/ClassSelection.h"
#include "navigation/Module2.h"
#include "navigation/NamespaceWalk.h"
#include "navigation/Twips.h"
#include "report/Form1.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

// Resources of a static library are registered by hand.
static void initShellResources() {
    Q_INIT_RESOURCE(resources);
}

namespace morrowlen::shell {

namespace {

constexpr const char* Disclaimer =
    "We are not to be held responisble if you decided to use our sample Management "
    "Packs for testing or production.  We know these work.";

QFont panelFont(bool bold = false) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    // The substitutes run wider than the design font; narrowed a little, the captions fit their boxes.
    font.setStretch(QFont::SemiCondensed);
    font.setBold(bold);
    return font;
}

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height));
}

// The client area: black, with the background picture drawn in its centre.
class BackgroundArea : public QMdiArea {
  public:
    explicit BackgroundArea(QWidget* parent)
        : QMdiArea(parent), m_picture(QStringLiteral(":/background.jpg")) {
        setBackground(QBrush(Qt::black));
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QMdiArea::paintEvent(event);
        if (m_picture.isNull()) return;
        QPainter painter(viewport());
        const QRect area = viewport()->rect();
        painter.drawPixmap((area.width() - m_picture.width()) / 2, (area.height() - m_picture.height()) / 2,
                           m_picture);
    }

  private:
    QPixmap m_picture;
};

} // namespace

frmMain::frmMain(const nav::Locator& locator, Services services, QWidget* parent)
    : QMainWindow(parent), m_locator(&locator), m_services(std::move(services)) {
    initShellResources();
    setObjectName("frmMain");
    setWindowTitle(QString::fromLatin1(ProgramTitle));
    QIcon icon;
    for (const char* size : {"32", "64", "256"})
        icon.addFile(QStringLiteral(":/icons/morrowlen-%1.png").arg(QLatin1String(size)));
    setWindowIcon(icon);
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildPanel();
    layout->addWidget(m_panel);
    m_mdi = new BackgroundArea(central);
    m_mdi->setObjectName("mdiArea");
    layout->addWidget(m_mdi, 1);
    setCentralWidget(central);

    m_status = new ClockStatusBar(m_services.clock, this);
    setStatusBar(m_status);
    buildMenus();
    // As designed: a client area of 10800 by 12465 twips below the menu bar.
    resize(twipsToPixels(10800), twipsToPixels(12465) + menuBar()->sizeHint().height());
}

void frmMain::buildPanel() {
    m_panel = new QWidget(this);
    m_panel->setObjectName("SSPanel2");
    m_panel->setFixedHeight(twipsToPixels(2640));
    m_panel->setAutoFillBackground(true);
    QPalette pal = m_panel->palette();
    pal.setColor(QPalette::Window, QColor(236, 233, 216));
    m_panel->setPalette(pal);
    m_panel->setFont(panelFont());

    struct Place {
        const char* name;
        const char* text;
        int left, top, width, height;
    };
    const Place labels[] = {
        {"Label1", "Namespace:", 240, 120, 975, 255},  {"Label2", "CIM:", 240, 720, 375, 255},
        {"Label3", "MSFT:", 240, 1320, 495, 255},      {"Label4", "Msft:", 240, 1920, 495, 255},
        {"Label7", "Win32:", 5520, 720, 615, 255},     {"Label6", "NoCategory:", 5520, 1320, 975, 255},
        {"Label5", Disclaimer, 5520, 1920, 5055, 615},
    };
    for (const Place& p : labels) {
        auto* label = new QLabel(QString::fromUtf8(p.text), m_panel);
        label->setObjectName(p.name);
        label->setGeometry(twipsRect(p.left, p.top, p.width, p.height));
        label->setFocusPolicy(Qt::NoFocus);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    auto* disclaimer = m_panel->findChild<QLabel*>("Label5");
    disclaimer->setWordWrap(true);
    disclaimer->setFont(panelFont(true));
    QPalette red = disclaimer->palette();
    red.setColor(QPalette::WindowText, QColor(192, 0, 0));
    disclaimer->setPalette(red);

    const Place combos[] = {
        {"Combo1", "", 240, 360, 10335, 315}, {"Combo2", "", 240, 960, 5055, 315},
        {"Combo3", "", 240, 1560, 5055, 315}, {"Combo4", "", 240, 2160, 5055, 315},
        {"Combo5", "", 5520, 960, 5055, 315}, {"Combo6", "", 5520, 1560, 5055, 315},
    };
    for (int i = 0; i < 6; ++i) {
        auto* combo = new ComboList(m_panel);
        combo->setObjectName(combos[i].name);
        combo->setGeometry(twipsRect(combos[i].left, combos[i].top, combos[i].width, combos[i].height));
        m_combos[i] = combo;
    }
    connect(m_combos[0], &ComboList::picked, this, [this] { handle([this] { Combo1_Click(); }); });
    for (int i = 1; i < 6; ++i)
        connect(m_combos[i], &ComboList::picked, this,
                [this, i] { handle([this, i] { classPick(i - 1); }); });

    // Keyboard order by tab index: Combo4, Combo3, Combo2, Combo5, Combo6, Combo1.
    const int order[] = {4, 3, 2, 5, 6, 1};
    for (int k = 0; k + 1 < 6; ++k)
        setTabOrder(m_combos[order[k] - 1], m_combos[order[k + 1] - 1]);
}

void frmMain::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("mnuFile");
    file->menuAction()->setObjectName("mnuFile");
    QAction* exit = file->addAction("E&xit");
    exit->setObjectName("mnuFileExit");
    connect(exit, &QAction::triggered, this, [this] { handle([this] { mnuFileExit_Click(); }); });

    QMenu* bios = menuBar()->addMenu("BIOS Discovery Managementpack");
    bios->setObjectName("mnubios");
    bios->menuAction()->setObjectName("mnubios");
    for (int i = 0; i < 3; ++i) {
        const auto& pack = examples::ExamplePacks[static_cast<std::size_t>(i)];
        QAction* action = bios->addAction(
            QString::fromUtf8(pack.caption.data(), static_cast<qsizetype>(pack.caption.size())));
        action->setObjectName(
            QString::fromUtf8(pack.menuItem.data(), static_cast<qsizetype>(pack.menuItem.size())));
        connect(action, &QAction::triggered, this, [this, i] { handle([this, i] { openExample(i); }); });
    }
}

nav::ClassLists frmMain::classLists() const {
    return {m_combos[1], m_combos[2], m_combos[3], m_combos[4], m_combos[5]};
}

static QRect fitIntoScreen(const QRect& outer, const QRect& available) {
    if (available.isEmpty()) return outer;
    QRect fitted(outer.topLeft(), outer.size().boundedTo(available.size()));
    if (fitted.right() > available.right()) fitted.moveRight(available.right());
    if (fitted.bottom() > available.bottom()) fitted.moveBottom(available.bottom());
    if (fitted.left() < available.left()) fitted.moveLeft(available.left());
    if (fitted.top() < available.top()) fitted.moveTop(available.top());
    return fitted;
}

void frmMain::setPlacement(const QRect& outer) {
    QScreen* screen = QGuiApplication::screenAt(outer.topLeft());
    if (!screen) screen = QGuiApplication::primaryScreen();
    m_outer = screen ? fitIntoScreen(outer, screen->availableGeometry()) : outer;
    // Moved before its platform window exists, a window's position is its frame's: a window
    // manager puts the frame's corner there (north-west gravity), whatever the frame turns out to be.
    move(m_outer.topLeft());
    resize(m_outer.size());
    create();
    m_frame = QMargins();
    m_placing = true;
    fitFrame();
    // Where the platform knows no frame (offscreen, a bare X server) none comes.
    QTimer::singleShot(3000, this, [this] { m_placing = false; });
}

bool frmMain::fitFrame() {
    const QMargins frame = windowHandle()->frameMargins();
    if (frame == m_frame) return false;
    m_frame = frame;
    resize(m_outer.size().shrunkBy(frame));
    if (frameGeometry().topLeft() != m_outer.topLeft()) move(m_outer.topLeft());
    return true;
}

bool frmMain::event(QEvent* event) {
    // A window manager reports its frame once it has framed the window, as the window is shown:
    // the size inside it is corrected then, before the first paint.
    if (m_placing) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::UpdateRequest:
        case QEvent::WindowActivate:
            if (windowHandle() && fitFrame() && m_frame != QMargins()) m_placing = false;
            break;
        default:
            break;
        }
    }
    return QMainWindow::event(event);
}

void frmMain::MDIForm_Load() {
    setPlacement(QRect(twipsToPixels(10), twipsToPixels(10), twipsToPixels(10920), twipsToPixels(13275)));
    for (int i = 1; i < 6; ++i)
        m_combos[i]->clear();
    for (int i = 1; i < 6; ++i)
        m_combos[i]->setText("");
    for (int i = 1; i < 6; ++i)
        m_combos[i]->setEnabled(false);
    m_combos[0]->addItem(nav::NamespacePlaceholder);
    m_combos[0]->setText(nav::NamespacePlaceholder);
    EnumNameSpaces("root");
}

void frmMain::EnumNameSpaces(const std::string& strNameSpace) {
    nav::EnumNameSpaces(*m_combos[0], *m_locator, strNameSpace);
}

void frmMain::MDIForm_Unload(int& /*cancel*/) {
    if (isMinimized()) return;
    const QChar separator = QLocale().decimalPoint().at(0);
    const QRect frame = frameGeometry();
    const float values[4] = {
        static_cast<float>(pixelsToTwips(frame.x())), static_cast<float>(pixelsToTwips(frame.y())),
        static_cast<float>(pixelsToTwips(frame.width())), static_cast<float>(pixelsToTwips(frame.height()))};
    const char* keys[4] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};
    for (int i = 0; i < 4; ++i)
        m_services.settings->SaveSetting(QString::fromLatin1(ProgramTitle), QStringLiteral("Settings"),
                                         QString::fromLatin1(keys[i]), placementText(values[i], separator));
}

void frmMain::closeEvent(QCloseEvent* event) {
    int cancel = 0;
    handle([&] { MDIForm_Unload(cancel); });
    if (cancel) {
        event->ignore();
        return;
    }
    m_mdi->closeAllSubWindows();
    event->accept();
}

void frmMain::mnuFileExit_Click() {
    close();
}

void frmMain::Combo1_Click() {
    nav::Combo1_Click(*m_combos[0], classLists(), *m_locator);
}

void frmMain::classPick(int list) {
    nav::classListClick(list, classLists(), [this] { openReport(); });
}

QMdiSubWindow* frmMain::addChild(QWidget* child, const QString& title) {
    auto* sub = new QMdiSubWindow;
    sub->setWidget(child);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    // A fixed border: the frame follows the child's fixed size and offers no resizing.
    if (QLayout* frame = sub->layout()) frame->setSizeConstraint(QLayout::SetFixedSize);
    sub->setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                        Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    sub->setWindowTitle(title);
    sub->setWindowIcon(windowIcon());
    m_mdi->addSubWindow(sub);
    return sub;
}

template <typename Form> void frmMain::loadAndShow(Form* form, const QString& title) {
    QMdiSubWindow* sub = addChild(form, title);
    connect(form, &Form::placementChanged, sub,
            [sub, form] { sub->move(twipsToPixels(form->leftTwips()), twipsToPixels(form->topTwips())); });
    try {
        form->Form_Load();
    } catch (...) {
        // A window whose load failed is discarded, never left behind half built.
        m_mdi->removeSubWindow(sub);
        delete sub;
        throw;
    }
    sub->show();
    sub->raise();
    m_mdi->setActiveSubWindow(sub);
}

void frmMain::openReport() {
    loadAndShow(new report::Form1(*m_locator, m_services.browsers, m_services.pageFolder),
                QString::fromStdString(Module2::strClassName));
}

void frmMain::openExample(int pack) {
    if (!m_exampleServer)
        m_exampleServer =
            std::make_unique<examples::ExampleServer>(m_services.exampleServer, m_services.exampleProgram);
    // Another program's pages on our address are never shown: the viewer says whose address it is.
    const bool taken = m_exampleServer->prepare() == examples::ExampleServer::Outcome::Taken;
    const std::string address =
        taken ? examples::writeTakenPage(m_services.pageFolder, m_services.exampleServer).string()
              : examples::examplePackAddress(examples::ExamplePacks[static_cast<std::size_t>(pack)],
                                             m_services.exampleServer);
    auto* form = new examples::Form5(m_services.browsers);
    loadAndShow(form, QStringLiteral("Example management pack"));
    form->WebBrowser1()->navigate(address);
}

} // namespace morrowlen::shell
