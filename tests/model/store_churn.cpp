// Child process of the kill tests. "churn" keeps changing the store and prints the total item
// count after each write reached the disk; "count" loads the store and prints its item count.
#include <QGuiApplication>
#include <QTextStream>

#include "model/PersistenceWorker.h"
#include "model/TavloStore.h"

namespace {

qsizetype totalItems(const TavloStore &store)
{
    qsizetype total = 0;
    for (const auto &list : store.allItemsByTavlo())
        total += list.size();
    return total;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream out(stdout);
    TavloStore store;

    if (args.value(1) == QLatin1String("count")) {
        out << totalItems(store) << Qt::endl;
        return 0;
    }

    // Without "wait" changes pile up and coalesce; with it each line is a written state.
    const bool wait = args.contains(QLatin1String("wait"));
    out << "ready" << Qt::endl;
    for (int i = 0;; ++i) {
        store.addText(QStringLiteral("change %1 ").arg(i).repeated(1 + i % 40));
        if (i % 7 == 3)
            store.createTavlo(QStringLiteral("Tavlo %1").arg(i));
        if (i % 11 == 5)
            store.selectTavlo(store.tavlos().first().id);
        if (i % 13 == 8 && !store.items().isEmpty())
            store.renameItem(store.items().first().id, QStringLiteral("label %1").arg(i));
        if (wait) {
            store.waitForPendingWrites();
            out << totalItems(store) << Qt::endl;
        }
    }
}
