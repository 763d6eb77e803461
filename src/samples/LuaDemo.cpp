#include "samples/Demo.h"
#include "samples/LuaChunk.h"

namespace vld::samples {

namespace {

constexpr std::uint8_t kEqOp = 91, kLtOp = 93, kLeOp = 94, kAddOp = 97, kSubOp = 98, kConcOp = 102;
constexpr std::uint8_t kOnTJmp = 105, kOnFJmp = 107, kJmp = 109, kIfFJmp = 111, kIfTUpJmp = 113, kIfFUpJmp = 115;

// function open(who, key)
//   if key == "iron" then door.locked = nil; who:say("It opens.")
//   elseif key == "brass" then who:say("Wrong key.")
//   else who:say("Nothing happens.") end
//   return door.locked
// end
TChunkFunction OpenFunction() {
  TChunkFunction f;
  f.line = 3;
  f.source = "demo.lua";
  TLuaAsm a(6, 2);
  TAsmLabel notIron = a.Label(), notBrass = a.Label(), done = a.Label();
  a.PushLocal(1).PushConst(f.String("iron")).Op(kEqOp).Jump(kIfFJmp, notIron);
  a.GetGlobal(f.String("door")).PushConst(f.String("locked")).PushNil().SetTable0();
  a.PushLocal(0).PushSelf(f.String("say")).PushConst(f.String("It opens.")).Call(2, 0).Jump(kJmp, done);
  a.Bind(notIron);
  a.PushLocal(1).PushConst(f.String("brass")).Op(kEqOp).Jump(kIfFJmp, notBrass);
  a.PushLocal(0).PushSelf(f.String("say")).PushConst(f.String("Wrong key.")).Call(2, 0).Jump(kJmp, done);
  a.Bind(notBrass);
  a.PushLocal(0).PushSelf(f.String("say")).PushConst(f.String("Nothing happens.")).Call(2, 0);
  a.Bind(done);
  a.GetGlobal(f.String("door")).GetDotted(f.String("locked")).Return(2).End();
  f.code = a.Code();
  f.Local("who", 3).Local("key", 3);
  return f;
}

// function hero:say(text)
//   local line = text
//   if self.name then line = self.name .. ": " .. text end
//   self.said = (self.said or 0) + 1
//   print(line)
// end
TChunkFunction SayFunction() {
  TChunkFunction f;
  f.line = 21;
  f.source = "demo.lua";
  TLuaAsm a(7, 2);
  TAsmLabel noName = a.Label(), saidBefore = a.Label();
  a.PushLocal(1);
  a.PushLocal(0).GetDotted(f.String("name")).Jump(kIfFJmp, noName);
  a.PushLocal(0).GetDotted(f.String("name")).PushConst(f.String(": ")).Op(kConcOp).PushLocal(1).Op(kConcOp);
  a.SetLocal(2);
  a.Bind(noName);
  // An operand whose text needs parentheses.
  a.PushLocal(0).PushConst(f.String("said"));
  a.PushLocal(0).GetDotted(f.String("said")).Jump(kOnTJmp, saidBefore).PushNumber(0);
  a.Bind(saidBefore);
  a.PushNumber(1).Op(kAddOp).SetTable0();
  a.GetGlobal(f.String("print")).PushLocal(2).Call(1, 0);
  a.Return(3).End();
  f.code = a.Code();
  f.Local("self", 21).Local("text", 21).Local("line", 22);
  return f;
}

}  // namespace

// door = {name="cellar door", locked=1}
// keys = {"brass", "iron"}
// function open(who, key) ... end
// count = 0
// while count < 3 do count = count + 1 end
// repeat count = count - 1 until count <= 0
// ready = door.locked and 0 or 1
// hero = {name="Tamsin"}
// function hero:say(text) ... end
// open(hero, keys[2])
Bytes BuildDemoScript() {
  TChunkFunction m;
  m.source = "demo.lua";
  TLuaAsm a(6, 0);
  a.CreateArray(2).PushConst(m.String("name")).PushConst(m.String("cellar door"));
  a.PushConst(m.String("locked")).PushNumber(1).SetMap(2).SetGlobal(m.String("door"));
  a.CreateArray(2).PushConst(m.String("brass")).PushConst(m.String("iron")).SetList(2).SetGlobal(m.String("keys"));
  a.Closure(m.Function(OpenFunction()), 0).SetGlobal(m.String("open"));
  const int count = m.String("count");
  a.PushNumber(0).SetGlobal(count);
  TAsmLabel whileBody = a.Label(), whileTest = a.Label();
  a.Jump(kJmp, whileTest);
  a.Bind(whileBody);
  a.GetGlobal(count).PushNumber(1).Op(kAddOp).SetGlobal(count);
  a.Bind(whileTest);
  a.GetGlobal(count).PushNumber(3).Op(kLtOp).Jump(kIfTUpJmp, whileBody);
  TAsmLabel repeatBody = a.Here();
  a.GetGlobal(count).PushNumber(1).Op(kSubOp).SetGlobal(count);
  a.GetGlobal(count).PushNumber(0).Op(kLeOp).Jump(kIfFUpJmp, repeatBody);
  TAsmLabel andEnd = a.Label(), orEnd = a.Label();
  a.GetGlobal(m.String("door")).GetDotted(m.String("locked")).Jump(kOnFJmp, andEnd).PushNumber(0);
  a.Bind(andEnd);
  a.Jump(kOnTJmp, orEnd).PushNumber(1);
  a.Bind(orEnd);
  a.SetGlobal(m.String("ready"));
  a.CreateArray(1).PushConst(m.String("name")).PushConst(m.String("Tamsin")).SetMap(1).SetGlobal(m.String("hero"));
  // A method stored straight from its constant: the function is rendered with self.
  a.GetGlobal(m.String("hero")).PushConst(m.String("say")).PushConst(m.Function(SayFunction())).SetTable0();
  a.GetGlobal(m.String("open")).GetGlobal(m.String("hero")).GetGlobal(m.String("keys")).PushNumber(2).GetTable();
  a.Call(2, 0);
  a.Return(0).End();
  m.code = a.Code();
  return BuildChunk(m);
}

Bytes BuildDemoTextTable() {
  const std::string text =
      "# Demo text table: key, a tab, the text\r\n"
      "door_locked\tThe cellar door is locked.\r\n"
      "door_open\tThe cellar door swings open.\r\n"
      "key_brass\tA small brass key.\r\n"
      "key_iron\tA heavy iron key.\r\n"
      "hero_greet\tHello, I am Tamsin.\r\n";
  return Bytes(text.begin(), text.end());
}

void AddLuaDemoEntries(LabWriter& lab) {
  lab.Add("scripts\\demo.lua", BuildDemoScript());
  lab.Add("text\\strings.tab", BuildDemoTextTable());
}

}  // namespace vld::samples
