// qblib/, the qbXML library: value formats, fields, records, responses, reports,
// requests, the session with QuickBooks and the toolkit-free progress operations.
// May include platform/ and Xerces-C only; no window and no toolkit.

// Where a run's time goes: process-wide totals of the time spent waiting for the
// request processor, parsing responses into objects and reports, and writing the event
// log, plus the number of requests sent. Front ends read them at the end of a run
// (lotwise-cli --timings); everything else only adds to them. Each measurement is two
// steady-clock reads, small beside any request.
//
// Not thread-safe: the totals belong to the thread that sends the requests.
#pragma once

#include <chrono>

struct CQbTimings {
    double processorSeconds = 0.0;  // inside ProcessRequest of the request processor
    double parsingSeconds = 0.0;    // CQbResponse parsing and conversion to objects or reports
    double eventLogSeconds = 0.0;   // writing requests and responses to the event log
    long requests = 0;              // ProcessRequest calls
};

// The process's totals; zero until the first request.
CQbTimings& qbTimings();

// Adds the time from its construction to its destruction to one of the totals.
class CQbTimer {
public:
    explicit CQbTimer(double& total) : into(total), start(std::chrono::steady_clock::now()) {}
    ~CQbTimer() {
        into += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    CQbTimer(const CQbTimer&) = delete;
    CQbTimer& operator=(const CQbTimer&) = delete;

private:
    double& into;
    std::chrono::steady_clock::time_point start;
};
