// Settings store and account list speed: loading 1,000 accounts, one ValdItem with its refresh of
// every row, and 10,000 writes in a row. Targets: 20 ms, 20 ms and 2 s.
#include "TempDir.h"
#include "common/Prompter.h"
#include "settings/AccountBook.h"
#include "settings/Regedit.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

namespace {
constexpr int kAccounts = 1000;

// A store with 1,000 accounts, each with the values a used account carries.
void fillAccounts(Regedit& store)
{
    const QString product = QStringLiteral("Software\\Velmora");
    for (int i = 1; i <= kAccounts; ++i) {
        const QString name = QStringLiteral("Account %1").arg(i);
        const QString key = product + QLatin1Char('\\') + name;
        store.SaveString(HKEY_LOCAL_MACHINE, product, QStringLiteral("Account%1").arg(i), name);
        store.SaveString(HKEY_LOCAL_MACHINE, key,
                         "Host Name/Adress:", QStringLiteral("ftp%1.example.org").arg(i));
        store.SaveString(HKEY_LOCAL_MACHINE, key, "User ID:", "user");
        store.SaveString(HKEY_LOCAL_MACHINE, key, "Password:", "secret");
        store.SaveString(HKEY_LOCAL_MACHINE, key, "Upload image every:", "5 minutes");
        store.SaveString(HKEY_LOCAL_MACHINE, key, "Custom", "300");
        store.SaveString(HKEY_LOCAL_MACHINE, key, "Selected", i % 2 ? "True" : "False");
        store.SaveString(HKEY_LOCAL_MACHINE, key, "Destination filename:", "webcam");
        store.SaveString(HKEY_LOCAL_MACHINE, key, "Font Size", "10.5");
        store.SaveString(HKEY_LOCAL_MACHINE, key, "DateFrom", "2026-01-01");
    }
}

// Loading asks nothing; a prompter that would answer is never reached.
class SilentPrompter final : public Prompter
{
public:
    Answer message(const QString&, Icon, Buttons, const QString&, Answer defaultAnswer) override
    {
        return defaultAnswer;
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override { return {}; }
};

struct Filled
{
    TempDir dir;
    Regedit store{dir.file("store.db")};
    Filled() { fillAccounts(store); }
};

void BM_LoadList1000Accounts(benchmark::State& state)
{
    Filled filled;
    SilentPrompter prompter;
    for (auto _ : state) {
        AccountBook book(filled.store, prompter);
        book.loadList();
        benchmark::DoNotOptimize(book.rowCount());
    }
}
BENCHMARK(BM_LoadList1000Accounts)->Unit(benchmark::kMillisecond);

void BM_ValdItemWith1000Rows(benchmark::State& state)
{
    Filled filled;
    SilentPrompter prompter;
    AccountBook book(filled.store, prompter);
    book.loadList();
    int row = 0;
    for (auto _ : state) {
        book.setCurrentRow(row);
        book.ValdItem();
        benchmark::DoNotOptimize(book.loaded().host);
        row = (row + 97) % kAccounts;
    }
}
BENCHMARK(BM_ValdItemWith1000Rows)->Unit(benchmark::kMillisecond);

void BM_SaveString10000InARow(benchmark::State& state)
{
    TempDir dir;
    Regedit store(dir.file("store.db"));
    int round = 0;
    for (auto _ : state) {
        for (int i = 0; i < 10000; ++i)
            store.SaveString(HKEY_LOCAL_MACHINE, QStringLiteral("Software\\Velmora\\Account %1").arg(i % 100),
                             QStringLiteral("Value%1").arg(i), QString::number(round));
        ++round;
    }
}
BENCHMARK(BM_SaveString10000InARow)->Unit(benchmark::kMillisecond)->Iterations(3);
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
