// The page keeps its own copies of rules the bridge applies, so that it can
// refuse at once in the bridge's words. These read both sources as text (no
// browser, no bridge) and fail when a copy has drifted from the bridge.
"use strict";

const { test } = require("node:test");
const assert = require("node:assert/strict");
const fs = require("node:fs");
const path = require("node:path");
const vm = require("node:vm");

const repoRoot = path.resolve(__dirname, "..", "..");
const read = (relative) => fs.readFileSync(path.join(repoRoot, relative), "utf8");
const page = read("web/adb.html");

// The value of the page's top-level `const NAME = …;` (a literal).
// `names` gives what the literal refers to.
function pageConst(name, names = {}) {
  const m = new RegExp(`^const ${name} = ([\\s\\S]*?);$`, "m").exec(page);
  assert.ok(m, `the page declares no ${name}`);
  return vm.runInNewContext("(" + m[1] + ")", names);
}

// The body of a C++ function or initializer: from `head` to the first line
// that is just "}" or "};".
function cppBlock(file, head) {
  const text = read(file);
  const at = text.indexOf(head);
  assert.ok(at >= 0, `${file} has no ${head}`);
  const end = text.slice(at).search(/^\}[;]?$/m);
  return text.slice(at, at + end);
}

// The C++ string literals in `text`, adjacent ones joined as the compiler
// joins them, with \xNN and simple escapes decoded.
function cppStrings(text) {
  const out = [];
  const literal = /"((?:[^"\\]|\\.)*)"(\s*)/g;
  let m;
  let joinNext = false;
  while ((m = literal.exec(text))) {
    const value = m[1].replace(/\\x([0-9A-Fa-f]{2})|\\(.)/g, (_, hex, c) =>
      hex ? String.fromCharCode(parseInt(hex, 16)) : { n: "\n", r: "\r", t: "\t", 0: "\0" }[c] ?? c);
    if (joinNext) out[out.length - 1] += value;
    else out.push(value);
    joinNext = text[literal.lastIndex] === '"';
  }
  return out;
}

test("the page's copies of the bridge's rules match the bridge", async (t) => {
  await t.test("identity partitions: the same names as actions/partition_guard.cpp, each once, and their slots", () => {
    const guard = read("actions/partition_guard.cpp");
    const bridge = cppStrings(cppBlock("actions/partition_guard.cpp", "identity_partitions[identity_partition_count] = {"));
    const ours = pageConst("IDENTITY_PARTITIONS");
    assert.equal(bridge.length, Number(/constexpr int identity_partition_count = (\d+);/.exec(guard)[1]));
    assert.equal(new Set(ours).size, ours.length, "a name listed twice in the page");
    assert.deepEqual([...new Set(ours)].sort(), [...new Set(bridge)].sort());
    // The bridge also refuses NAME_a and NAME_b (on the lower-cased name).
    const slot = pageConst("SLOT_ENDING");
    for (const name of ["efs_a", "efs_b"]) assert.equal(name.replace(slot, ""), "efs", name);
    for (const name of ["efs_c", "efs_ab", "efsa", "efs_a_"]) assert.equal(name.replace(slot, ""), name, name);
  });

  await t.test("boot-type partitions and boot magics: as actions/image_check.cpp", () => {
    const bridgeNames = cppStrings(cppBlock("actions/image_check.cpp", "bool needs_boot_header("));
    assert.ok(bridgeNames.length >= 4);
    const rule = pageConst("BOOT_TYPE_PARTITION");
    for (const name of bridgeNames) {
      assert.ok(rule.test(name) && rule.test(name.toUpperCase()), name);
      // Any other ending is another partition for both.
      assert.ok(!rule.test(name + "_c") && !rule.test("x" + name), name);
    }
    // Every name the page's rule takes (its alternatives with and without a
    // slot) is one the bridge checks.
    const bases = /^\^\(([a-z_|]+)\)/.exec(rule.source)[1].split("|");
    const pageNames = bases.flatMap((b) => [b, b + "_a", b + "_b"]);
    assert.deepEqual(pageNames.sort(), [...bridgeNames].sort());

    const bridgeMagics = cppStrings(cppBlock("actions/image_check.cpp", "bool has_boot_magic("));
    assert.deepEqual([...pageConst("BOOT_MAGICS")].sort(), bridgeMagics.sort());
  });

  await t.test("serial rule: the characters and length of is_valid_serial in tools/device_list.cpp", () => {
    const chars = cppBlock("tools/device_list.cpp", "bool is_serial_char(");
    const allowed = new Set();
    for (const [, from, to] of chars.matchAll(/c >= '(.)' && c <= '(.)'/g)) {
      for (let c = from.charCodeAt(0); c <= to.charCodeAt(0); c++) allowed.add(String.fromCharCode(c));
    }
    for (const [, c] of chars.matchAll(/c == '(.)'/g)) allowed.add(c);
    assert.ok(allowed.size > 62, [...allowed].join(""));
    const cap = Number(/constexpr int serial_cap = (\d+);/.exec(read("tools/device_list.h"))[1]);
    const rule = pageConst("SERIAL_RULE");
    for (let code = 0; code < 128; code++) {
      const c = String.fromCharCode(code);
      assert.equal(rule.test(c), allowed.has(c), `character ${JSON.stringify(c)}`);
    }
    assert.equal(rule.test("A".repeat(cap)), true);
    assert.equal(rule.test("A".repeat(cap + 1)), false);
    assert.equal(rule.test(""), false);
  });

  await t.test("refusal texts: each as an error of server/reply_texts.h", () => {
    const bodies = cppStrings(read("server/reply_texts.h"));
    const TEXT = pageConst("TEXT");
    const texts = [...Object.values(TEXT), ...Object.keys(pageConst("SAME_REFUSAL", { TEXT }))];
    for (const text of texts) {
      assert.ok(bodies.some((b) => b.includes(`"error":"${text}"`)), text);
    }
  });
});
