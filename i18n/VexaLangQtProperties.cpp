#include "i18n/VexaLangQtProperties.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaProperty>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVariant>

namespace {

using TProperties = std::vector<TVexaLangTextProperty>;

void Add(TProperties& out, std::string path, std::function<QString()> get,
         std::function<void(const QString&)> set, bool stored = true) {
    out.push_back(TVexaLangTextProperty{std::move(path), stored, std::move(get), std::move(set)});
}

void AddHint(TProperties& out, QWidget* widget, bool stored = true) {
    Add(
        out, "Hint", [widget] { return widget->toolTip(); },
        [widget](const QString& text) { widget->setToolTip(text); }, stored);
}

// The tab widget that shows the widget as one of its pages, or nullptr.
QTabWidget* TabWidgetOfPage(QWidget* widget) {
    auto* stack = qobject_cast<QStackedWidget*>(widget->parentWidget());
    if (stack == nullptr)
        return nullptr;
    auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget());
    return tabs != nullptr && tabs->indexOf(widget) >= 0 ? tabs : nullptr;
}

// The texts of a list's items as one text of lines.
template <typename TTextAt> QString JoinedTexts(int count, TTextAt textAt) {
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines << textAt(i);
    return JoinLines(lines);
}

void AddItems(TProperties& out, QComboBox* combo) {
    Add(
        out, "Items",
        [combo] {
            return JoinedTexts(combo->count(), [combo](int i) { return combo->itemText(i); });
        },
        [combo](const QString& text) {
            // Item data stays with the items that remain; the current item stays selected,
            // and an editable box keeps the text typed into it (a user's file-name mask).
            const QStringList lines = SplitLines(text);
            const int current = combo->currentIndex();
            const QString typed = combo->currentText();
            for (int i = 0; i < lines.size(); ++i) {
                if (i < combo->count())
                    combo->setItemText(i, lines[i]);
                else
                    combo->addItem(lines[i]);
            }
            while (combo->count() > lines.size())
                combo->removeItem(combo->count() - 1);
            if (current < combo->count())
                combo->setCurrentIndex(current);
            if (combo->isEditable() && combo->currentText() != typed)
                combo->setEditText(typed);
        },
        combo->count() > 0);
}

void AddItems(TProperties& out, QListWidget* list) {
    Add(
        out, "Items",
        [list] {
            return JoinedTexts(list->count(), [list](int i) { return list->item(i)->text(); });
        },
        [list](const QString& text) {
            const QStringList lines = SplitLines(text);
            for (int i = 0; i < lines.size(); ++i) {
                if (i < list->count())
                    list->item(i)->setText(lines[i]);
                else
                    list->addItem(lines[i]);
            }
            while (list->count() > lines.size())
                delete list->takeItem(list->count() - 1);
        },
        list->count() > 0);
}

std::string ColumnPath(int column) {
    return "Columns[" + std::to_string(column) + "].Caption";
}

void AddColumns(TProperties& out, QObject* object) {
    if (auto* tree = qobject_cast<QTreeWidget*>(object)) {
        for (int i = 0; i < tree->columnCount(); ++i)
            Add(
                out, ColumnPath(i), [tree, i] { return tree->headerItem()->text(i); },
                [tree, i](const QString& text) { tree->headerItem()->setText(i, text); });
        return;
    }
    if (auto* table = qobject_cast<QTableWidget*>(object)) {
        for (int i = 0; i < table->columnCount(); ++i) {
            Add(
                out, ColumnPath(i),
                [table, i] {
                    QTableWidgetItem* item = table->horizontalHeaderItem(i);
                    return item != nullptr ? item->text() : QString();
                },
                [table, i](const QString& text) {
                    QTableWidgetItem* item = table->horizontalHeaderItem(i);
                    if (item == nullptr) {
                        item = new QTableWidgetItem;
                        table->setHorizontalHeaderItem(i, item);
                    }
                    item->setText(text);
                });
        }
        return;
    }
    auto* view = qobject_cast<QAbstractItemView*>(object);
    QAbstractItemModel* model = view != nullptr ? view->model() : nullptr;
    if (model == nullptr)
        return;
    // Only captions the model keeps itself; a model that makes its own (the file system's,
    // translated by Qt) refuses to have them set.
    if (model->columnCount() > 0 &&
        !model->setHeaderData(0, Qt::Horizontal, model->headerData(0, Qt::Horizontal)))
        return;
    for (int i = 0; i < model->columnCount(); ++i)
        Add(
            out, ColumnPath(i),
            [model, i] { return model->headerData(i, Qt::Horizontal).toString(); },
            [model, i](const QString& text) { model->setHeaderData(i, Qt::Horizontal, text); });
}

void AddWidgetTexts(TProperties& out, QWidget* widget, bool isForm) {
    if (isForm) {
        Add(
            out, "Caption", [widget] { return widget->windowTitle(); },
            [widget](const QString& text) { widget->setWindowTitle(text); });
        AddHint(out, widget);
        return;
    }
    if (auto* menu = qobject_cast<QMenu*>(widget)) {
        Add(
            out, "Caption", [menu] { return menu->title(); },
            [menu](const QString& text) { menu->setTitle(text); });
        return;
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        Add(
            out, "Caption", [group] { return group->title(); },
            [group](const QString& text) { group->setTitle(text); });
        AddHint(out, widget);
        return;
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        Add(
            out, "Caption", [label] { return label->text(); },
            [label](const QString& text) { label->setText(text); });
        AddHint(out, widget);
        return;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        // A tool button that shows an action takes its texts from the action.
        auto* tool = qobject_cast<QToolButton*>(widget);
        const bool own = tool == nullptr || tool->defaultAction() == nullptr;
        Add(
            out, "Caption", [button] { return button->text(); },
            [button](const QString& text) { button->setText(text); }, own);
        AddHint(out, widget, own);
        return;
    }
    if (auto* bar = qobject_cast<QTabBar*>(widget)) {
        // A tab bar of its own (not a page control's) holds its captions as one list.
        Add(
            out, "Tabs",
            [bar] { return JoinedTexts(bar->count(), [bar](int i) { return bar->tabText(i); }); },
            [bar](const QString& text) {
                const QStringList lines = SplitLines(text);
                for (int i = 0; i < lines.size() && i < bar->count(); ++i)
                    bar->setTabText(i, lines[i]);
            },
            bar->count() > 0);
        AddHint(out, widget);
        return;
    }
    if (QTabWidget* tabs = TabWidgetOfPage(widget)) {
        Add(
            out, "Caption", [tabs, widget] { return tabs->tabText(tabs->indexOf(widget)); },
            [tabs, widget](const QString& text) { tabs->setTabText(tabs->indexOf(widget), text); });
        Add(
            out, "Hint", [tabs, widget] { return tabs->tabToolTip(tabs->indexOf(widget)); },
            [tabs, widget](const QString& text) {
                tabs->setTabToolTip(tabs->indexOf(widget), text);
            });
        return;
    }
    AddHint(out, widget);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        Add(
            out, "Text", [edit] { return edit->text(); },
            [edit](const QString& text) { edit->setText(text); });
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        AddItems(out, combo);
        if (combo->isEditable())
            Add(
                out, "Text", [combo] { return combo->currentText(); },
                [combo](const QString& text) { combo->setEditText(text); });
    } else if (auto* list = qobject_cast<QListWidget*>(widget)) {
        AddItems(out, list);
    }
    AddColumns(out, widget);
}

void AddActionTexts(TProperties& out, QAction* action) {
    Add(
        out, "Caption", [action] { return action->text(); },
        [action](const QString& text) { action->setText(text); });
    Add(
        out, "Hint",
        [action] {
            if (!action->statusTip().isEmpty())
                return action->statusTip();
            // Without a tool tip of its own an action reports its text as one.
            QString plain = action->text();
            plain.remove(QStringLiteral("..."));
            plain.remove('&');
            return action->toolTip() == plain ? QString() : action->toolTip();
        },
        [action](const QString& text) {
            action->setToolTip(text);
            action->setStatusTip(text);
        });
}

bool HasPath(const TProperties& out, const std::string& path) {
    for (const TVexaLangTextProperty& property : out)
        if (property.Path == path)
            return true;
    return false;
}

void AddNamedStringProperties(TProperties& out, QObject* object) {
    std::vector<QByteArray> names;
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        QMetaProperty property = meta->property(i);
        if (property.isReadable() && property.isWritable() &&
            property.metaType().id() == QMetaType::QString)
            names.emplace_back(property.name());
    }
    for (const QByteArray& name : object->dynamicPropertyNames())
        if (object->property(name.constData()).metaType().id() == QMetaType::QString)
            names.push_back(name);
    for (const QByteArray& name : names) {
        if (name.isEmpty() || name[0] < 'A' || name[0] > 'Z' || HasPath(out, name.toStdString()))
            continue;
        Add(
            out, name.toStdString(),
            [object, name] { return object->property(name.constData()).toString(); },
            [object, name](const QString& text) { object->setProperty(name.constData(), text); });
    }
}

} // namespace

std::vector<TVexaLangTextProperty> TranslatableProperties(QObject* object, bool isForm) {
    TProperties out;
    if (auto* widget = qobject_cast<QWidget*>(object))
        AddWidgetTexts(out, widget, isForm);
    else if (auto* action = qobject_cast<QAction*>(object))
        AddActionTexts(out, action);
    AddNamedStringProperties(out, object);
    return out;
}

QString JoinLines(const QStringList& lines) {
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    return text;
}

QStringList SplitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines << text.mid(start, i - start);
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines << text.mid(start);
    return lines;
}
