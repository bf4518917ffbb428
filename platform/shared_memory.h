#pragma once

#include <cstddef>
#include <span>

namespace gandry {

// A named section of shared memory backed by the paging file. One object maps one section.
class SharedMemory {
 public:
  virtual ~SharedMemory() = default;
  // Creates the section, or opens it when another process created it already, and maps all of
  // it for reading and writing. Returns the view, or nullptr when none could be mapped.
  virtual std::byte* Open(const char* name, std::size_t size) = 0;
  // Creates the section under a name that every session sees, so that the system and
  // administrators may do anything with it and everybody else only read it, and maps it for
  // writing. Only services and administrators may create such a name, so nobody else can make
  // the section before its writer. Returns the view; nullptr when the name exists already
  // (another writer has it) or nothing could be mapped.
  virtual std::byte* PublishGlobal(const char* name, std::size_t size) = 0;
  // Opens such a section for reading only and maps all of it; empty when there is none or it
  // cannot be read.
  virtual std::span<const std::byte> OpenGlobalReadOnly(const char* name) = 0;
  // Unmaps the view and closes the section; does nothing when nothing is open.
  virtual void Close() = 0;
};

}  // namespace gandry
