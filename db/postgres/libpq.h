#pragma once

#include <QString>

#include <libpq-fe.h>

namespace rux::pg {

// The functions of libpq used here. The program does not link libpq: it
// and the libraries it needs (TLS, Kerberos, LDAP) would be loaded and
// relocated at every start, SQLite runs included, which doubles the start-up
// time. The library is loaded, and its functions looked up, when the first
// server connection is opened.
#define RUX_LIBPQ_FUNCTIONS(X)                                                                     \
    X(PQcancel)                                                                                    \
    X(PQclear)                                                                                     \
    X(PQcmdTuples)                                                                                 \
    X(PQconnectdbParams)                                                                           \
    X(PQconninfoFree)                                                                              \
    X(PQconninfoParse)                                                                             \
    X(PQconsumeInput)                                                                              \
    X(PQerrorMessage)                                                                              \
    X(PQexec)                                                                                      \
    X(PQfinish)                                                                                    \
    X(PQfmod)                                                                                      \
    X(PQflush)                                                                                     \
    X(PQfname)                                                                                     \
    X(PQfreeCancel)                                                                                \
    X(PQfreemem)                                                                                   \
    X(PQftable)                                                                                    \
    X(PQftablecol)                                                                                 \
    X(PQftype)                                                                                     \
    X(PQgetCancel)                                                                                 \
    X(PQgetCopyData)                                                                               \
    X(PQgetResult)                                                                                 \
    X(PQgetisnull)                                                                                 \
    X(PQgetlength)                                                                                 \
    X(PQgetvalue)                                                                                  \
    X(PQisBusy)                                                                                    \
    X(PQnfields)                                                                                   \
    X(PQnparams)                                                                                   \
    X(PQntuples)                                                                                   \
    X(PQparameterStatus)                                                                           \
    X(PQputCopyEnd)                                                                                \
    X(PQresultErrorField)                                                                          \
    X(PQresultStatus)                                                                              \
    X(PQsendQueryParams)                                                                           \
    X(PQsetNoticeProcessor)                                                                        \
    X(PQsetSingleRowMode)                                                                          \
    X(PQsetnonblocking)                                                                            \
    X(PQsocket)                                                                                    \
    X(PQstatus)                                                                                    \
    X(PQtrace)                                                                                     \
    X(PQtransactionStatus)                                                                         \
    X(PQunescapeBytea)                                                                             \
    X(PQuntrace)

struct Libpq
{
#define RUX_LIBPQ_MEMBER(name) decltype(&::name) name = nullptr;
    RUX_LIBPQ_FUNCTIONS(RUX_LIBPQ_MEMBER)
#undef RUX_LIBPQ_MEMBER
    QString failure; // why the library could not be used; empty when it can
};

// The library, loaded on first use; throws Failure when it cannot be used.
const Libpq &libpq();

} // namespace rux::pg
