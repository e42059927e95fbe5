// SPDX-License-Identifier: GPL-3.0-or-later
#include "HelpViewer.h"

#include "HelpTopic.h"
#include "Sitemap.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace varrowhelp {

namespace {

constexpr int TopicRole = Qt::UserRole;
// The window's size where the screen has room for it.
constexpr QSize PreferredSize{860, 600};
// What a title bar and a border may take around the window.
constexpr QSize FrameAllowance{16, 48};

QString missingPage(const QString& path) {
    return QStringLiteral("<html><body><h1>Page not found</h1><p>The page %1 is not in this help "
                          "file.</p><p><a href=\"%2\">Back to the start page</a></p></body></html>")
        .arg(path.toHtmlEscaped(), QStringLiteral("chm:/"));
}

void addEntries(const std::vector<SitemapEntry>& entries, QTreeWidgetItem* parent,
                QTreeWidget* tree) {
    for (const SitemapEntry& entry : entries) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        item->setText(0, entry.name);
        if (!entry.local.isEmpty())
            item->setData(0, TopicRole, absoluteChmPath(entry.local));
        addEntries(entry.children, item, tree);
    }
}

// The topic as a page and an anchor, so that "a.htm#x" and "/a.htm#x" match.
QString normalTopic(const QUrl& url) {
    QString topic = chmPathOf(url);
    if (url.hasFragment())
        topic += QLatin1Char('#') + url.fragment(QUrl::FullyDecoded);
    return topic;
}

} // namespace

ChmBrowser::ChmBrowser(QWidget* parent)
    : QTextBrowser(parent) {
    setObjectName(QStringLiteral("Browser"));
    // Links are followed here: pages of the help file in this browser,
    // anything else by the desktop.
    setOpenLinks(false);
    connect(this, &QTextBrowser::anchorClicked, this, &ChmBrowser::followLink);
}

void ChmBrowser::setHelpFile(const ChmFile* file) {
    file_ = file;
    clearHistory();
}

void ChmBrowser::followLink(const QUrl& url) {
    if (url.scheme() == QLatin1String(ChmScheme) || url.isRelative())
        setSource(url.isRelative() ? page_.resolved(url) : url);
    else
        QDesktopServices::openUrl(url);
}

void ChmBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type) {
    const QUrl page = name.adjusted(QUrl::RemoveFragment);
    if (page != page_)
        missing_.clear();
    page_ = page;
    QTextBrowser::doSetSource(name, type);
}

QVariant ChmBrowser::loadResource(int type, const QUrl& name) {
    const QUrl url = name.isRelative() ? page_.resolved(name) : name;
    QString path = chmPathOf(url);
    // Pages of the file only: no local files or other places behind a link.
    if (file_ == nullptr || url.scheme() != QLatin1String(ChmScheme))
        return {};
    if (path.isEmpty() || path == QLatin1String("/"))
        path = absoluteChmPath(file_->system().defaultTopic);
    if (const std::optional<QByteArray> data = file_->read(path))
        return *data;
    if (!missing_.contains(path))
        missing_.append(path);
    if (type == QTextDocument::HtmlResource)
        return missingPage(path);
    return {};
}

QRect helpWindowGeometry(const QRect& available, const QSize& minimum) {
    // The window manager's frame is not known before the window is on the
    // screen: room is left for it.
    const QSize size =
        PreferredSize.boundedTo(available.size() - FrameAllowance).expandedTo(minimum);
    QRect geometry(QPoint(), size);
    geometry.moveCenter(available.center());
    return geometry;
}

void HelpViewer::showEvent(QShowEvent* event) {
    // Placed once, when first shown: the screen is known then.
    if (!placed_ && screen() != nullptr) {
        placed_ = true;
        setGeometry(helpWindowGeometry(screen()->availableGeometry(), minimumSizeHint()));
    }
    QMainWindow::showEvent(event);
}

HelpViewer::HelpViewer(QWidget* parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Help"));
    resize(PreferredSize);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    auto* tabs = new QTabWidget(splitter);
    tabs->setObjectName(QStringLiteral("Navigation"));
    contents_ = new QTreeWidget(tabs);
    contents_->setObjectName(QStringLiteral("Contents"));
    contents_->setHeaderHidden(true);
    tabs->addTab(contents_, QStringLiteral("Contents"));

    auto* indexPage = new QWidget(tabs);
    auto* indexLayout = new QVBoxLayout(indexPage);
    indexLayout->setContentsMargins(0, 0, 0, 0);
    indexFilter_ = new QLineEdit(indexPage);
    indexFilter_->setObjectName(QStringLiteral("IndexFilter"));
    indexFilter_->setPlaceholderText(QStringLiteral("Type a keyword"));
    indexFilter_->setClearButtonEnabled(true);
    indexLayout->addWidget(indexFilter_);
    index_ = new QListWidget(indexPage);
    index_->setObjectName(QStringLiteral("Index"));
    indexLayout->addWidget(index_);
    tabs->addTab(indexPage, QStringLiteral("Index"));

    browser_ = new ChmBrowser(splitter);
    splitter->addWidget(tabs);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({240, 620});
    setCentralWidget(splitter);

    createActions();

    connect(contents_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item) { showItemTopic(item); });
    connect(contents_, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { showItemTopic(item); });
    connect(index_, &QListWidget::itemActivated, this, [this] { followIndexEntry(); });
    connect(indexFilter_, &QLineEdit::textEdited, this, &HelpViewer::selectIndexEntry);
    connect(indexFilter_, &QLineEdit::returnPressed, this, &HelpViewer::followIndexEntry);
    connect(browser_, &QTextBrowser::sourceChanged, this, &HelpViewer::markContents);
}

HelpViewer::~HelpViewer() {
    // The browser reads from the file until it goes.
    browser_->setHelpFile(nullptr);
}

void HelpViewer::createActions() {
    auto* bar = addToolBar(QStringLiteral("Navigation"));
    bar->setObjectName(QStringLiteral("NavigationBar"));
    bar->setMovable(false);
    auto* back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QStringLiteral("Back"),
                                browser_, &QTextBrowser::backward);
    back->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    back->setEnabled(false);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    auto* forward = bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward),
                                   QStringLiteral("Forward"), browser_, &QTextBrowser::forward);
    forward->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    forward->setEnabled(false);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    auto* home = bar->addAction(
        QIcon::fromTheme(QStringLiteral("go-home"), style()->standardIcon(QStyle::SP_DirHomeIcon)),
        QStringLiteral("Start Page"), this, [this] { showTopic({}); });
    home->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
    for (QAction* action : {back, forward, home})
        action->setToolTip(action->text() + QStringLiteral(" (") +
                           action->shortcut().toString(QKeySequence::NativeText) +
                           QLatin1Char(')'));

    auto* close = new QAction(QStringLiteral("Close"), this);
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
}

QString HelpViewer::openFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return QStringLiteral("The help file %1 does not exist.").arg(path);
    std::unique_ptr<ChmFile> file = ChmFile::open(path);
    if (!file)
        return QStringLiteral("The help file %1 cannot be read as compiled HTML help.").arg(path);
    browser_->setHelpFile(file.get());
    file_ = std::move(file);
    const QString title = file_->system().title;
    setWindowTitle(title.isEmpty() ? info.fileName() : title);
    fillContents();
    fillIndex();
    return {};
}

QString HelpViewer::sitemapFile(const QString& named, const QString& suffix) const {
    if (!named.isEmpty() && file_->contains(named))
        return named;
    for (const QString& path : file_->files()) {
        if (path.endsWith(suffix, Qt::CaseInsensitive))
            return path;
    }
    return {};
}

void HelpViewer::fillContents() {
    const QSignalBlocker blocker(contents_);
    contents_->clear();
    const QString path = sitemapFile(file_->system().contentsFile, QStringLiteral(".hhc"));
    if (path.isEmpty())
        return;
    if (const std::optional<QByteArray> text = file_->read(path))
        addEntries(parseSitemap(*text), nullptr, contents_);
}

void HelpViewer::fillIndex() {
    index_->clear();
    const QString path = sitemapFile(file_->system().indexFile, QStringLiteral(".hhk"));
    if (path.isEmpty())
        return;
    const std::optional<QByteArray> text = file_->read(path);
    if (!text)
        return;
    // Sub-entries of the index are listed under their own names.
    std::vector<const SitemapEntry*> pending;
    const std::vector<SitemapEntry> entries = parseSitemap(*text);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        pending.push_back(&*it);
    while (!pending.empty()) {
        const SitemapEntry* entry = pending.back();
        pending.pop_back();
        if (!entry->local.isEmpty()) {
            auto* item = new QListWidgetItem(entry->name, index_);
            item->setData(TopicRole, absoluteChmPath(entry->local));
        }
        for (auto it = entry->children.rbegin(); it != entry->children.rend(); ++it)
            pending.push_back(&*it);
    }
}

QString HelpViewer::startTopic() const {
    if (!file_)
        return {};
    const QString named = file_->system().defaultTopic;
    if (!named.isEmpty() && file_->contains(named))
        return named;
    for (QTreeWidgetItemIterator it(contents_); *it; ++it) {
        const QString topic = (*it)->data(0, TopicRole).toString();
        if (!topic.isEmpty())
            return topic;
    }
    for (const QString& path : file_->files()) {
        if (path.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive) ||
            path.endsWith(QLatin1String(".html"), Qt::CaseInsensitive))
            return path;
    }
    return {};
}

void HelpViewer::showTopic(const QString& topic) {
    if (!file_)
        return;
    browser_->setSource(topicUrl(topic.isEmpty() ? startTopic() : topic));
}

void HelpViewer::showItemTopic(const QTreeWidgetItem* item) {
    if (item == nullptr)
        return;
    const QString topic = item->data(0, TopicRole).toString();
    if (!topic.isEmpty() && topic != normalTopic(browser_->source()))
        showTopic(topic);
}

void HelpViewer::selectIndexEntry(const QString& text) {
    for (int row = 0; row < index_->count(); ++row) {
        if (index_->item(row)->text().startsWith(text, Qt::CaseInsensitive)) {
            index_->setCurrentRow(row);
            index_->scrollToItem(index_->item(row), QAbstractItemView::PositionAtTop);
            return;
        }
    }
}

void HelpViewer::followIndexEntry() {
    if (const QListWidgetItem* item = index_->currentItem())
        showTopic(item->data(TopicRole).toString());
}

void HelpViewer::markContents(const QUrl& url) {
    // The entry of the page with its anchor, else the page's own entry.
    const QString topic = normalTopic(url);
    const QString page = chmPathOf(url);
    QTreeWidgetItem* pageItem = nullptr;
    QTreeWidgetItem* found = nullptr;
    for (QTreeWidgetItemIterator it(contents_); *it && !found; ++it) {
        const QString itemTopic = (*it)->data(0, TopicRole).toString();
        if (itemTopic.compare(topic, Qt::CaseInsensitive) == 0)
            found = *it;
        else if (!pageItem && itemTopic.compare(page, Qt::CaseInsensitive) == 0)
            pageItem = *it;
    }
    if (!found)
        found = pageItem;
    const QSignalBlocker blocker(contents_);
    if (found) {
        for (QTreeWidgetItem* parent = found->parent(); parent; parent = parent->parent())
            parent->setExpanded(true);
        contents_->setCurrentItem(found);
        contents_->scrollToItem(found);
    } else {
        contents_->setCurrentItem(nullptr);
    }
}

} // namespace varrowhelp
