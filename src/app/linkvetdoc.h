#pragma once

#include <QPlainTextDocumentLayout>
#include <QTextDocument>

#include "results/resultsmodel.h"

// The data the two panes show: the grid's rows, the only store of results, and the log's
// text. It is never saved, so closing never asks to.
class CLinkvetDoc {
public:
    CLinkvetDoc() { m_log.setDocumentLayout(new QPlainTextDocumentLayout(&m_log)); }

    CResultsModel& Results() { return m_results; }
    QTextDocument& Log() { return m_log; }

private:
    CResultsModel m_results;
    QTextDocument m_log;
};
