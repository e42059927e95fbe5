// SPDX-License-Identifier: GPL-3.0-or-later
// varrow-help's window: the contents and the index of a CHM file beside a
// text browser that shows its pages. Links, pictures and style sheets are
// read from the file itself; links to anything else open in the desktop's
// own programs.
#pragma once

#include "ChmFile.h"

#include <QMainWindow>
#include <QStringList>
#include <QTextBrowser>
#include <QUrl>
#include <memory>

class QLineEdit;
class QListWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace varrowhelp {

class ChmBrowser final : public QTextBrowser {
    Q_OBJECT
public:
    explicit ChmBrowser(QWidget* parent = nullptr);

    // The file the pages come from; it must outlive the browser's use of it.
    void setHelpFile(const ChmFile* file);
    QVariant loadResource(int type, const QUrl& name) override;
    // Paths inside the file that the page in view asked for and the file
    // does not hold.
    const QStringList& missingResources() const { return missing_; }

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

private:
    void followLink(const QUrl& url);

    const ChmFile* file_ = nullptr;
    // The page being shown, against which relative names resolve.
    QUrl page_;
    QStringList missing_;
};

// Where the window opens on a screen whose free area is `available`: its
// size where there is room for it (860 x 600), else as large as the area
// allows with room for a title bar and a border, never below `minimum`; in
// the middle of the area.
QRect helpWindowGeometry(const QRect& available, const QSize& minimum);

class HelpViewer final : public QMainWindow {
    Q_OBJECT
public:
    explicit HelpViewer(QWidget* parent = nullptr);
    ~HelpViewer() override;
    Q_DISABLE_COPY_MOVE(HelpViewer)

    // Opens the help file at `path`; an error text for the user when it
    // cannot be read as one.
    QString openFile(const QString& path);
    // Shows `topic` ("/optionstab.htm#Hints"), or the start page when it is
    // empty. A topic the file does not hold shows a page that says so.
    void showTopic(const QString& topic);
    // The default topic of the file, else its first page in the contents.
    QString startTopic() const;

    ChmBrowser* browser() const { return browser_; }
    QTreeWidget* contents() const { return contents_; }
    QListWidget* index() const { return index_; }
    QLineEdit* indexFilter() const { return indexFilter_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void createActions();
    void fillContents();
    void fillIndex();
    void showItemTopic(const QTreeWidgetItem* item);
    void followIndexEntry();
    void selectIndexEntry(const QString& text);
    void markContents(const QUrl& url);
    QString sitemapFile(const QString& named, const QString& suffix) const;

    std::unique_ptr<ChmFile> file_;
    ChmBrowser* browser_ = nullptr;
    QTreeWidget* contents_ = nullptr;
    QListWidget* index_ = nullptr;
    bool placed_ = false;
    QLineEdit* indexFilter_ = nullptr;
};

} // namespace varrowhelp
