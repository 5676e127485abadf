// Filling the window's list and reading it back must cost the same per row however long the
// list grows.
#include "filelist/FileListModel.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTreeView>

namespace {

// The list as the window shows it: one column, rows of one height.
void showInView(QTreeView &view, FileListModel &list) {
    view.setModel(&list);
    view.setRootIsDecorated(false);
    view.setItemsExpandable(false);
    view.setUniformRowHeights(true);
    view.resize(520, 169);
    view.show();
}

void fill(FileListModel &list, int rows) {
    for (int i = 0; i < rows; ++i) {
        list.AddFileRow(QStringLiteral("/home/ann/Pictures/holiday/photo-%1.jpg").arg(i));
    }
}

void AppendAndReadRows(benchmark::State &state) {
    const int rows = static_cast<int>(state.range(0));
    for (auto _ : state) {
        FileListModel list;
        QTreeView view;
        showInView(view, list);
        fill(list, rows);
        QCoreApplication::processEvents();
        view.scrollToBottom();
        QCoreApplication::processEvents();
        qsizetype characters = 0;
        for (int position = 1; position <= list.FileRowCount(); ++position) {
            characters += list.RowText(position).size();
        }
        benchmark::DoNotOptimize(characters);
    }
    state.SetComplexityN(rows);
}

// One Delete in a long list, until the view has shown the change.
void RemoveOneRow(benchmark::State &state) {
    const int rows = static_cast<int>(state.range(0));
    FileListModel list;
    QTreeView view;
    showInView(view, list);
    fill(list, rows);
    QCoreApplication::processEvents();
    for (auto _ : state) {
        list.RemoveRow(list.FileRowCount() / 2);
        QCoreApplication::processEvents();
        state.PauseTiming();
        fill(list, 1);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.SetComplexityN(rows);
}

}  // namespace

BENCHMARK(AppendAndReadRows)
    ->Arg(25000)
    ->Arg(50000)
    ->Arg(100000)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(RemoveOneRow)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);
