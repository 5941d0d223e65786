#pragma once

#include <QDir>
#include <QList>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

#include <QTextDocument>

#include "model/TavloStore.h"
#include "richtext/Rtf.h"

// What the soak test expects the store to hold, and the random operations it runs on both.
// An operation is drawn from the generator alone; what it means (which item, which tavlo) is
// resolved against the expected state, so a child process that starts from the same stored
// state and the same seed performs the same changes.
namespace Soak {

struct Item
{
    enum Kind { file, text, url } kind = text;
    QString value; // local path, plain text or link
    std::optional<QString> title;
    QUuid id; // null until learned from the store
};

struct Tavlo
{
    QString name;
    QList<Item> items;
    QUuid id;
};

struct State
{
    QList<Tavlo> tavlos;
    int active = 0;
};

enum class OpKind {
    dropUris,
    dropText,
    dropRtf,
    editText,
    label,
    remove,
    clear,
    createTavlo,
    renameTavlo,
    deleteTavlo,
    selectTavlo,
    restart,
    kill
};

struct Op
{
    OpKind kind = OpKind::dropText;
    quint32 pick = 0; // chooses an item or tavlo among those present when the op runs
    QStringList entries; // URI list entries
    QString text; // dropped or edited text, label, tavlo name
    QString link; // a web link inside dropped text
};

// Only changes the child process performs; restarts and kills are the parent's business.
inline bool isChange(OpKind kind)
{
    return kind != OpKind::restart && kind != OpKind::kill;
}

// Files live under the scratch HOME, so parent and child use the same paths.
inline QString filePool()
{
    return QDir::home().filePath(QStringLiteral("soak-files"));
}

inline void makeFilePool()
{
    QDir dir(filePool());
    dir.mkpath(QStringLiteral("folder"));
    for (int i = 0; i < 6; ++i) {
        QFile file(dir.filePath(QStringLiteral("file %1.txt").arg(i)));
        if (file.open(QIODevice::WriteOnly))
            file.write("soak\n");
    }
}

inline QString pickOf(QRandomGenerator &random, const QStringList &choices)
{
    return choices.at(int(random.bounded(quint32(choices.size()))));
}

inline QString words(QRandomGenerator &random)
{
    static const QStringList pool = {QStringLiteral("alpha"),   QStringLiteral("Brücke"),
                                     QStringLiteral("gamma"),   QStringLiteral("delta\tdelta"),
                                     QStringLiteral("echo"),    QStringLiteral("line\nbreak"),
                                     QStringLiteral("ünïcödé"), QStringLiteral("μ-lambda"),
                                     QStringLiteral("zeta"),    QStringLiteral("日本語")};
    QStringList out;
    const int count = int(random.bounded(1, 6));
    for (int i = 0; i < count; ++i)
        out.append(pickOf(random, pool));
    return out.join(u' ');
}

// Padded, blank and plain variants: the store trims names and labels and ignores blank ones.
inline QString userText(QRandomGenerator &random, const QString &base)
{
    const QString n = QString::number(random.bounded(1000));
    switch (random.bounded(4)) {
    case 0:
        return QString();
    case 1:
        return QStringLiteral(" \t\n ");
    case 2:
        return QStringLiteral("  %1 %2 \n").arg(base, n);
    default:
        return QStringLiteral("%1 %2").arg(base, n);
    }
}

inline Op generate(QRandomGenerator &random, bool childOnly)
{
    static const QStringList links = {
        QStringLiteral("https://www.example.com/soak/1"), QStringLiteral("https://www.example.com/soak/2"),
        QStringLiteral("HTTPS://www.example.com/soak/1"), QStringLiteral("http://example.org/page?n=2"),
        QStringLiteral("https://example.net/a%20b#frag"), QStringLiteral("ftp://example.net/file")};
    // Weights per kind, in OpKind order; the child draws no restarts or kills.
    static const QList<int> weights = {16, 12, 5, 10, 10, 7, 1, 5, 5, 4, 8, 4, 3};
    int total = 0;
    for (int k = 0; k < weights.size(); ++k)
        total += (childOnly && !isChange(OpKind(k))) ? 0 : weights[k];
    int roll = int(random.bounded(total));
    int k = 0;
    for (;; ++k) {
        const int w = (childOnly && !isChange(OpKind(k))) ? 0 : weights[k];
        if (roll < w)
            break;
        roll -= w;
    }
    Op op;
    op.kind = OpKind(k);
    op.pick = random.generate();
    switch (op.kind) {
    case OpKind::dropUris:
        for (int i = 0, n = int(random.bounded(1, 4)); i < n; ++i) {
            if (random.bounded(2)) {
                const int f = int(random.bounded(7));
                const QString name = f == 6 ? QStringLiteral("folder") : QStringLiteral("file %1.txt").arg(f);
                // "/./" spells the same file another way; the store keeps one item.
                const QString dir = random.bounded(4) ? filePool() : filePool() + QStringLiteral("/.");
                op.entries.append(QUrl::fromLocalFile(dir + u'/' + name).toString(QUrl::FullyEncoded));
            } else {
                // Not the capital scheme: Qt's URI list hands every URL over in normalised form.
                const QString link = pickOf(random, links);
                op.entries.append(link.startsWith(u'H') ? link.toLower() : link);
            }
        }
        break;
    case OpKind::dropText:
        if (random.bounded(6) == 0)
            op.text = QStringLiteral(" \n\t ");
        else
            op.text = words(random);
        if (random.bounded(4) == 0)
            op.link =
                pickOf(random, links.mid(0, 4)) + QStringLiteral("/t") + QString::number(random.bounded(50));
        break;
    case OpKind::dropRtf:
    case OpKind::editText:
        op.text = words(random);
        break;
    case OpKind::label:
        op.text = userText(random, QStringLiteral("label"));
        break;
    case OpKind::createTavlo:
    case OpKind::renameTavlo:
        op.text = userText(random, QStringLiteral("Tavlo"));
        break;
    default:
        break;
    }
    return op;
}

// `text` as an RTF document with some formatting, the way a word processor sends it.
inline QByteArray rtfOf(const QString &text)
{
    QByteArray rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Helvetica;}}\\f0\\fs24 {\\b ";
    for (const QChar c : text) {
        if (c == u'\t')
            rtf += "\\tab ";
        else if (c == u'\n')
            rtf += "\\par ";
        else if (c == u' ')
            rtf += "} {\\i ";
        else if (c.unicode() < 0x80 && c != u'\\' && c != u'{' && c != u'}')
            rtf += char(c.unicode());
        else
            rtf += "\\uc0\\u" + QByteArray::number(qint16(c.unicode())) + ' ';
    }
    return rtf + "}\\par}";
}

// The text item an edit picks, if the tavlo has any.
inline std::optional<int> editedIndex(const Op &op, const QList<Item> &items)
{
    QList<int> texts;
    for (int i = 0; i < items.size(); ++i) {
        if (items[i].kind == Item::text)
            texts.append(i);
    }
    if (texts.isEmpty())
        return std::nullopt;
    return texts[int(op.pick % quint32(texts.size()))];
}

// The store's effect of `op` on `state`, as the user sees it. Bounded: a full tavlo sheds its
// first item instead of growing, and with many tavlos a create deletes the active one.
inline void apply(const Op &op, State &state)
{
    Tavlo &active = state.tavlos[state.active];
    QList<Item> &items = active.items;
    auto addFile = [&](const QString &path) {
        for (const Item &item : items) {
            if (item.kind == Item::file && item.value == path)
                return;
        }
        items.append({Item::file, path, std::nullopt, {}});
    };
    auto addUrl = [&](const QString &link) {
        if (!link.startsWith(QLatin1String("http:"), Qt::CaseInsensitive)
            && !link.startsWith(QLatin1String("https:"), Qt::CaseInsensitive))
            return;
        for (const Item &item : items) {
            if (item.kind == Item::url && item.value == link)
                return;
        }
        items.append({Item::url, link, std::nullopt, {}});
    };
    const bool full = items.size() >= 40;
    switch (op.kind) {
    case OpKind::dropUris:
        if (full) {
            items.removeFirst();
            return;
        }
        for (const QString &entry : op.entries) {
            const QUrl url(entry);
            if (url.isLocalFile())
                addFile(QDir::cleanPath(url.toLocalFile()));
            else
                addUrl(entry);
        }
        return;
    case OpKind::dropText:
    case OpKind::dropRtf:
        if (full) {
            items.removeFirst();
            return;
        }
        if (!op.link.isEmpty())
            addUrl(op.link);
        else if (!op.text.trimmed().isEmpty())
            items.append({Item::text, op.text, std::nullopt, {}});
        return;
    case OpKind::editText:
        if (const auto i = editedIndex(op, items))
            items[*i].value = op.text;
        return;
    case OpKind::label:
        if (!items.isEmpty()) {
            Item &item = items[int(op.pick % quint32(items.size()))];
            if (item.kind != Item::file) {
                const QString title = op.text.trimmed();
                item.title = title.isEmpty() ? std::nullopt : std::optional<QString>(title);
            }
        }
        return;
    case OpKind::remove:
        if (!items.isEmpty())
            items.removeAt(int(op.pick % quint32(items.size())));
        return;
    case OpKind::clear:
        items.clear();
        return;
    case OpKind::createTavlo:
        if (state.tavlos.size() < 8) {
            const QString name = op.text.trimmed();
            state.tavlos.append({name.isEmpty() ? QStringLiteral("New Tavlo") : name, {}, {}});
            state.active = int(state.tavlos.size()) - 1;
            return;
        }
        [[fallthrough]];
    case OpKind::deleteTavlo:
        if (state.tavlos.size() >= 2) {
            state.tavlos.removeAt(state.active);
            state.active = std::min(state.active, int(state.tavlos.size()) - 1);
        }
        return;
    case OpKind::renameTavlo:
        if (!op.text.trimmed().isEmpty())
            active.name = op.text.trimmed();
        return;
    case OpKind::selectTavlo: {
        // One pick in (count + 1) names no tavlo, which the store ignores.
        const int index = int(op.pick % quint32(state.tavlos.size() + 1));
        if (index < state.tavlos.size())
            state.active = index;
        return;
    }
    case OpKind::restart:
    case OpKind::kill:
        return;
    }
}

// The states a store may leave on disk when its process dies during `op`, besides the states
// before and after it: a URI drop adds entry by entry. Tavlo operations write all their keys in
// one sync, so they leave no state in between.
inline QList<State> statesDuring(const Op &op, const State &before)
{
    QList<State> states;
    if (op.kind == OpKind::dropUris && before.tavlos[before.active].items.size() < 40) {
        for (int n = 1; n < op.entries.size(); ++n) {
            Op prefix = op;
            prefix.entries = op.entries.mid(0, n);
            states.append(before);
            apply(prefix, states.last());
        }
    }
    State after = before;
    apply(op, after);
    // Each list has its own file: a deleted tavlo's items leave before the tavlo does, and a new
    // tavlo is on disk before it is the active one.
    if (after.tavlos.size() < before.tavlos.size()) {
        states.append(before);
        states.last().tavlos[before.active].items.clear();
        states.last().active = -1;
        states.append(after); // the active id is the last file written
        states.last().active = -1;
    } else if (after.tavlos.size() > before.tavlos.size()) {
        states.append(after);
        states.last().active = -1;
    }
    states.append(after);
    return states;
}

// Drives the store itself (the parent sends drops through the ingest instead, see the test).
// Resolves `op` against `state`, the state before the op, which must equal the store's.
inline void applyToStore(const Op &op, const State &state, TavloStore &store)
{
    const QList<Item> &items = state.tavlos[state.active].items;
    const bool full = items.size() >= 40;
    auto idAt = [&](int i) {
        return store.items().at(i).id;
    };
    switch (op.kind) {
    case OpKind::dropUris:
    case OpKind::dropText:
    case OpKind::dropRtf:
        if (full) {
            store.removeItem(idAt(0));
        } else if (op.kind == OpKind::dropUris) {
            for (const QString &entry : op.entries) {
                const auto url = TavloUrl::parse(entry);
                if (url && url->isFileURL())
                    store.addFile(*url);
                else if (url)
                    store.addURL(*url);
            }
        } else if (!op.link.isEmpty()) {
            store.addURL(*TavloUrl::parse(op.link));
        } else if (op.kind == OpKind::dropRtf) {
            QTextDocument document;
            if (Rtf::read(rtfOf(op.text), document))
                store.addRichText(RichText::fromDocument(document));
        } else {
            store.addText(op.text);
        }
        return;
    case OpKind::editText:
        if (const auto i = editedIndex(op, items))
            store.updateItemText(idAt(*i), RichText::fromPlainText(op.text));
        return;
    case OpKind::label:
        if (!items.isEmpty())
            store.renameItem(idAt(int(op.pick % quint32(items.size()))), op.text);
        return;
    case OpKind::remove:
        store.removeItem(items.isEmpty() ? QUuid::createUuid() : idAt(int(op.pick % quint32(items.size()))));
        return;
    case OpKind::clear:
        store.clearActiveTavlo();
        return;
    case OpKind::createTavlo:
        if (state.tavlos.size() < 8)
            store.createTavlo(op.text);
        else
            store.deleteActiveTavlo();
        return;
    case OpKind::deleteTavlo:
        store.deleteActiveTavlo();
        return;
    case OpKind::renameTavlo:
        store.renameActiveTavlo(op.text);
        return;
    case OpKind::selectTavlo: {
        const int index = int(op.pick % quint32(state.tavlos.size() + 1));
        store.selectTavlo(index < store.tavlos().size() ? store.tavlos().at(index).id : QUuid::createUuid());
        return;
    }
    case OpKind::restart:
    case OpKind::kill:
        return;
    }
}

inline State snapshot(const TavloStore &store)
{
    State state;
    for (const StoredTavloDefinition &definition : store.tavlos()) {
        Tavlo tavlo {definition.name, {}, definition.id};
        for (const TavloItem &item : store.allItemsByTavlo().value(definition.id)) {
            Item out;
            out.id = item.id;
            out.title = item.title();
            if (const auto *file = std::get_if<FileItemKind>(&item.kind)) {
                out.kind = Item::file;
                out.value = file->url.toLocalFile();
            } else if (const auto *text = std::get_if<TextItemKind>(&item.kind)) {
                out.kind = Item::text;
                out.value = text->payload.plainText;
            } else {
                out.kind = Item::url;
                out.value = std::get<UrlItemKind>(item.kind).url.absoluteString();
            }
            tavlo.items.append(out);
        }
        if (definition.id == store.activeTavloID())
            state.active = int(state.tavlos.size());
        state.tavlos.append(tavlo);
    }
    return state;
}

// Empty when `actual` holds what `expected` describes; ids are compared where known. Texts are
// compared without surrounding white space, which rich text may add as a closing paragraph.
inline QString difference(const State &expected, const State &actual, bool compareActive = true)
{
    if (expected.tavlos.size() != actual.tavlos.size())
        return QStringLiteral("%1 tavlos, expected %2").arg(actual.tavlos.size()).arg(expected.tavlos.size());
    if (compareActive && expected.active != actual.active)
        return QStringLiteral("active tavlo %1, expected %2").arg(actual.active).arg(expected.active);
    for (int t = 0; t < expected.tavlos.size(); ++t) {
        const Tavlo &e = expected.tavlos[t];
        const Tavlo &a = actual.tavlos[t];
        const QString where = QStringLiteral("tavlo %1 (%2)").arg(t).arg(a.name);
        if (e.name != a.name)
            return where + QStringLiteral(": expected name ") + e.name;
        if (!e.id.isNull() && e.id != a.id)
            return where + QStringLiteral(": id changed");
        if (e.items.size() != a.items.size())
            return where + QStringLiteral(": %1 items, expected %2").arg(a.items.size()).arg(e.items.size());
        for (int i = 0; i < e.items.size(); ++i) {
            const Item &ei = e.items[i];
            const Item &ai = a.items[i];
            const QString item = where + QStringLiteral(" item %1: ").arg(i);
            if (ei.kind != ai.kind || ei.value.trimmed() != ai.value.trimmed())
                return item
                    + QStringLiteral("'%1' (kind %2), expected '%3' (kind %4)")
                          .arg(ai.value)
                          .arg(ai.kind)
                          .arg(ei.value)
                          .arg(ei.kind);
            if (ei.title != ai.title)
                return item
                    + QStringLiteral("title '%1', expected '%2'")
                          .arg(ai.title.value_or(QStringLiteral("<none>")),
                               ei.title.value_or(QStringLiteral("<none>")));
            if (!ei.id.isNull() && ei.id != ai.id)
                return item + QStringLiteral("id changed");
        }
    }
    return QString();
}

} // namespace Soak
