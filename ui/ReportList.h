#pragma once
// The look of the program's report lists (definitions, hash rows): whole rows selected, several at
// once, columns left aligned, rows of one height so that lists of many thousands stay fast.

class QAbstractItemModel;
class QTreeView;

void SetUpReportList(QTreeView* list, QAbstractItemModel* model);
