#pragma once

// What went wrong with the source database, as a CDaoException says it apart from its words:
// what is said about a failure in a few words is chosen by its kind, never by its message.
enum class SourceFailureKind {
    FileMissing,           // no path was given, or nothing is at it
    NotAFile,              // a folder, a pipe, a device
    CannotOpen,            // the system refused to look at or open the file
    CannotRead,            // the system, or the check, failed while reading it
    NotADatabase,          // no Access header
    UnsupportedFormat,     // an Access format this program does not read
    Encrypted,             // an encryption this program cannot undo
    WrongPassword,         // the connect string's password is not the file's
    Damaged,               // what the file holds contradicts itself
    Stalled,               // reading it made no progress within the limit
    Crashed,               // reading it crashed the check
    MemoryExhausted,       // reading it needed more memory than the check may use
    MissingTable,          // a table the run reads is not in the file
    MissingColumn,         // a column the run reads is not in its table
    UnreadableColumnType,  // a column of a type this program cannot read
    NoTextConverter,       // this system cannot convert Access 97 text
    ChangedWhileRead,      // the file was written while it was checked or read
    CheckUnavailable,      // the check process cannot be found or started
    Misuse,                // the source was asked for what it does not do (a program error)
};
