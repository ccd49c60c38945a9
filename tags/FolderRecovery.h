#pragma once
#include <cstdint>
#include <string>

// What writers that were cut short left in a folder (WriterNames.h): copies over
// hard-linked files, undo records of in-place writes, temporary files, trash guards.
// Each process looks once per folder, at its first open there, so that an open costs no
// look at the folder; a record left later by another process is found by the next
// process, or by a repair that asks for the look again.
namespace tags::fileops {

// Finishes the copies and rolls back the in-place writes that killed writers left in the
// folder, once per folder and process; what it cannot reach by name waits for the open
// of the file with that identity (PendingRecord).
void RecoverFolderOnce(const std::string &folder);
// The same look, whether or not this process looked before.
void RecoverFolder(const std::string &folder);
// The record (copy or undo) waiting for the file with that device and inode, or "".
std::string PendingRecord(std::uint64_t device, std::uint64_t inode);
void AddPending(std::uint64_t device, std::uint64_t inode, const std::string &record);
void DropPending(std::uint64_t device, std::uint64_t inode);
// The scan's steps: an undo record of a writer that no longer runs rolled back; a trash
// guard dropped where the file has another name.
void RollBackDeadWriter(const std::string &folder, const std::string &record);
void DropGuard(const std::string &guard);
// Whether no process with that id runs any more.
bool ProcessGone(unsigned long pid);

} // namespace tags::fileops
