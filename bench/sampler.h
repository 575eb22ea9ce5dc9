// Sampler: where one thread of this program spends its time, by sampling it.
//
// A thread of its own suspends the target thread every few milliseconds (4,000 samples at most),
// reads its instruction pointer and walks its frame-pointer chain (the code is built with frame
// pointers; system code that keeps none leaves the chain at its caller's frame), and counts each
// function of this program found there, once per sample: its inclusive share. The function the
// sample is in, or else the one of this program's whose call into system code is nearest the top
// of the stack, gets the self share (functions inlined into another count as that one). Names
// come from this program's own COFF symbol table, demangled. Samples are taken only between Start
// and Stop. Sampling slows the sampled thread: time it apart.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class Sampler {
 public:
  // Samples the calling thread.
  Sampler();
  ~Sampler();
  Sampler(const Sampler&) = delete;
  Sampler& operator=(const Sampler&) = delete;

  void Start();
  void Stop();

  struct Share {
    std::string function;
    int inclusive;
    int self;
  };
  // The functions met, by inclusive samples, most first; samples: how many were taken.
  std::vector<Share> Report(int* samples) const;

 private:
  static DWORD WINAPI Run(void* self);
  void Sample();
  // The index of the function holding address, or -1 outside this program's code.
  int FunctionAt(std::uintptr_t address) const;
  // True when the bytes before address in this program's code are a call instruction.
  bool FollowsACall(std::uintptr_t address) const;

  struct Symbol {
    std::uintptr_t address;
    std::string name;
  };
  std::vector<Symbol> symbols_;  // by address
  std::uintptr_t code_begin_ = 0;
  std::uintptr_t code_end_ = 0;
  HANDLE target_ = nullptr;
  HANDLE thread_ = nullptr;
  volatile LONG running_ = 0;
  volatile LONG quit_ = 0;
  int samples_ = 0;
  std::map<int, int> inclusive_;
  std::map<int, int> self_;
};
