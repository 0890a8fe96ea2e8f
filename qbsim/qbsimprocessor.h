// qbsim/, the embedded QuickBooks stand-in: a qbXML request processor over a SQLite
// company file. May include platform/, SQLite and libxml2 only.

// The stand-in as QuickBooks' request processor: a COM object implementing
// IRequestProcessor2 over company files, registered in the COM shim's class registry
// under CLSID_RequestProcessor2 so that session code creates it by class id exactly as
// it creates QuickBooks' own processor on Windows.
//
// One processor serves one connection and any number of sessions, each on its own
// company file and with its own iterators. Not thread-safe (a COM single-threaded
// apartment object).
#pragma once

#include "qbxmlrp.h"

#include <chrono>
#include <optional>
#include <string>

// Registers the stand-in's factory under CLSID_RequestProcessor2 (replacing any
// earlier registration).
void qbsimRegister();

// HRESULTs QuickBooks' processor returns, as far as the stand-in reproduces them.
constexpr HRESULT QBSIM_E_PARSE = static_cast<HRESULT>(0x80040400u);
constexpr HRESULT QBSIM_E_COULD_NOT_ACCESS = static_cast<HRESULT>(0x80040401u);
constexpr HRESULT QBSIM_E_FILE_NOT_FOUND = static_cast<HRESULT>(0x80040408u);
constexpr HRESULT QBSIM_E_OTHER_FILE_OPEN = static_cast<HRESULT>(0x8004040Au);
constexpr HRESULT QBSIM_E_BAD_TICKET = static_cast<HRESULT>(0x8004040Du);
constexpr HRESULT QBSIM_E_MODE = static_cast<HRESULT>(0x80040410u);
constexpr HRESULT QBSIM_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040402u);

// The description QuickBooks gives with 0x80040400.
extern const char* const kQbSimParseDescription;

// Creates a processor directly (what the registered factory does); the caller owns
// the returned reference.
IRequestProcessor2* qbsimCreateProcessor();

// Faults a processor injects, standing in for QuickBooks closed in the middle of a run,
// a company file on a network drive that went away, or a request QuickBooks refuses.
// Counts are per processor and start at 1; 0 (or -1 for failAfter) switches a fault off.
struct CQbSimFaults {
    // The failAt-th ProcessRequest fails at the transport with failCode/failDescription.
    int failAt = 0;
    // Every ProcessRequest after the failAfter-th fails the same way (0: every one).
    int failAfter = -1;
    HRESULT failCode = static_cast<HRESULT>(0x800706BAu);
    std::string failDescription = "The RPC server is unavailable.";
    // The statusAt-th request element named statusRequest (e.g. "InventoryAdjustmentAddRq"),
    // counted over every document, is answered with statusCode and statusMessage instead
    // of being run.
    std::string statusRequest;
    int statusAt = 0;
    int statusCode = 3180;
    std::string statusMessage = "There was an error when saving the transaction.";
    // Added to every ProcessRequest call.
    int latencyMs = 0;
    // Added per report row of an answer: the time QuickBooks takes to compute a report
    // grows with its rows, which a request naming fewer items saves.
    int reportMicrosPerRow = 0;
};

// Reads the QBSIM_FAULTS format: ';'-separated settings
//   fail-at=N  fail-after=N  hresult=0x8004041A  description=TEXT
//   status=REQUEST:N:CODE[:MESSAGE]  latency-ms=N  report-us-per-row=N
// Throws std::invalid_argument naming the setting it cannot read.
CQbSimFaults qbsimParseFaults(const std::string& text);
// The faults of processors created from now on; std::nullopt returns to the
// QBSIM_FAULTS environment variable (no faults when it is unset).
void qbsimSetFaults(std::optional<CQbSimFaults> faults);
// The faults a processor created now injects: those set with qbsimSetFaults, else
// QBSIM_FAULTS's. Throws std::invalid_argument when QBSIM_FAULTS cannot be read (a
// processor then refuses BeginSession with the reason).
CQbSimFaults qbsimCurrentFaults();
// How long a processor with the faults waits before handing over an answer for the
// reports in it: reportMicrosPerRow for every report row (every element carrying a
// rowNumber).
std::chrono::microseconds qbsimReportDelay(const CQbSimFaults& faults, const std::string& answer);
