#include "core/lua/LuaFlow.h"

#include <algorithm>

#include "core/lua/LuaListing.h"

namespace vld {

namespace {

constexpr int kCodeStart = 2;  // after the stack and parameter bytes

bool EndsBlock(const TLuaInstruction& in) {
  if (in.IsJump()) return true;
  TLuaOpKind k = in.Group ? in.Group->Kind : TLuaOpKind::EndCode;
  return k == TLuaOpKind::RetCode || k == TLuaOpKind::EndCode;
}

bool FallsThrough(const TLuaInstruction& in) {
  TLuaOpKind k = in.Group ? in.Group->Kind : TLuaOpKind::EndCode;
  return k != TLuaOpKind::Jmp && k != TLuaOpKind::EndCode;
}

}  // namespace

int TLuaFlow::IndexAt(int offset) const {
  if (offset < kCodeStart || offset > FEnd) return -1;
  return FIndexAt[static_cast<std::size_t>(offset - kCodeStart)];
}

TLuaFlow BuildLuaFlow(const TLuaFunction& f) {
  TLuaFlow flow;
  const int size = std::min<int>(f.CodeSize, static_cast<int>(f.Code.size()));
  flow.FEnd = std::max(size, kCodeStart);
  flow.FIndexAt.assign(static_cast<std::size_t>(flow.FEnd - kCodeStart + 1), -1);
  for (int pc = kCodeStart; pc < size;) {
    TLuaInstruction in = DecodeLuaInstruction(f.Code, size, pc);
    flow.FIndexAt[static_cast<std::size_t>(pc - kCodeStart)] = static_cast<int>(flow.Code.size());
    if (!in.Group && flow.Fault.empty()) flow.Fault = LuaFormat("unknown opcode %d at %.4x", in.Opcode, pc);
    if (in.End() > size && flow.Fault.empty()) flow.Fault = LuaFormat("instruction at %.4x runs past the code", pc);
    flow.Code.push_back(in);
    pc = in.End();
  }
  flow.FIndexAt.back() = static_cast<int>(flow.Code.size());
  if (flow.Code.empty() || flow.Code.back().Opcode != kOpEndCode) {
    if (flow.Fault.empty()) flow.Fault = "the code does not end with endcode";
  }

  // Leaders: the start, jump targets, and whatever follows a jump or return.
  std::vector<bool> leader(flow.Code.size() + 1, false);
  leader[0] = true;
  for (std::size_t i = 0; i < flow.Code.size(); ++i) {
    const TLuaInstruction& in = flow.Code[i];
    if (in.IsJump()) {
      int t = flow.IndexAt(in.Target);
      if (t < 0 || t >= static_cast<int>(flow.Code.size())) {
        if (flow.Fault.empty())
          flow.Fault = LuaFormat("jump at %.4x goes to %.4x, not to an instruction", in.Offset, in.Target);
        continue;
      }
      leader[static_cast<std::size_t>(t)] = true;
    }
    if (EndsBlock(in)) leader[i + 1] = true;
  }
  std::vector<int> blockOf(flow.Code.size(), 0);
  for (std::size_t i = 0; i < flow.Code.size(); ++i) {
    if (leader[i]) flow.Blocks.push_back({static_cast<int>(i), static_cast<int>(i), {}});
    flow.Blocks.back().Last = static_cast<int>(i);
    blockOf[i] = static_cast<int>(flow.Blocks.size()) - 1;
  }
  for (TLuaBasicBlock& b : flow.Blocks) {
    const TLuaInstruction& last = flow.Code[static_cast<std::size_t>(b.Last)];
    if (FallsThrough(last) && static_cast<std::size_t>(b.Last + 1) < flow.Code.size())
      b.Successors.push_back(blockOf[static_cast<std::size_t>(b.Last + 1)]);
    int t = last.IsJump() ? flow.IndexAt(last.Target) : -1;
    if (t >= 0 && t < static_cast<int>(flow.Code.size())) b.Successors.push_back(blockOf[static_cast<std::size_t>(t)]);
  }
  return flow;
}

}  // namespace vld
