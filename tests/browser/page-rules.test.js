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

  await t.test("boot partitions, image headers and the sparse format: as actions/image_check.cpp", () => {
    const check = read("actions/image_check.cpp");
    // The strings of the C++ initializer `NAME[] = {...};` or `NAME[] = "...";`.
    const cppArray = (name) => {
      const m = new RegExp(`\\b${name}\\[\\] =\\s*([{][^}]*[}]|(?:"(?:[^"\\\\]|\\\\.)*"\\s*)+);`).exec(check);
      assert.ok(m, `actions/image_check.cpp has no ${name}`);
      return cppStrings(m[1]);
    };
    const sameNames = (rule, names) => {
      for (const name of names) {
        assert.ok(rule.test(name) && rule.test(name.toUpperCase()), name);
        // Any other ending is another partition for both.
        assert.ok(!rule.test(name + "_c") && !rule.test("x" + name), name);
      }
      // Every name the page's rule takes (its alternatives with and without
      // a slot) is one the bridge names.
      const bases = /^\^\(([a-z_|]+)\)/.exec(rule.source)[1].split("|");
      assert.deepEqual(bases.flatMap((b) => [b, b + "_a", b + "_b"]).sort(), [...names].sort());
    };
    sameNames(pageConst("BOOT_TYPE_PARTITION"), cppArray("boot_image_partitions"));
    sameNames(pageConst("VENDOR_BOOT_PARTITION"), cppArray("vendor_boot_partitions"));

    const magics = pageConst("IMAGE_MAGICS");
    assert.deepEqual(Object.keys(magics).sort(), ["boot", "elf", "vendor_boot"]);
    for (const [kind, magic] of Object.entries(magics)) assert.deepEqual(cppArray(kind + "_magic"), [magic], kind);
    const sparse = cppArray("sparse_magic")[0];
    assert.deepEqual([...pageConst("SPARSE_MAGIC")], [...sparse].map((c) => c.charCodeAt(0)));
    assert.equal(pageConst("SPARSE_RAW_CHUNK"), Number(/constexpr unsigned raw_chunk = (0x[0-9A-Fa-f]+);/.exec(check)[1]));
  });

  await t.test("the page judges made-up images as the bridge's unit tests do", () => {
    // The page's own functions, run here over the consts they use.
    const names = {};
    for (const c of ["IMAGE_MAGICS", "SPARSE_MAGIC", "SPARSE_RAW_CHUNK", "BOOT_TYPE_PARTITION", "VENDOR_BOOT_PARTITION"]) {
      names[c] = pageConst(c);
    }
    const context = vm.createContext(names);
    for (const f of ["imageNeed", "imageKind", "kindFits"]) {
      const m = new RegExp(`^function ${f}\\([\\s\\S]*?^\\}$`, "m").exec(page);
      assert.ok(m, `the page has no function ${f}`);
      vm.runInContext(m[0], context);
    }
    // (As plain objects of this realm, for deepEqual.)
    const kind = (bytes) => ({ ...vm.runInContext("imageKind", context)(Uint8Array.from(bytes)) });
    const fits = (bytes, need) => vm.runInContext("kindFits", context)(kind(bytes), need);
    const need = (partition, boot) => vm.runInContext("imageNeed", context)(partition, boot);
    assert.equal(need("Init_Boot_a", false), "boot");
    assert.equal(need("vendor_boot_B", false), "vendor_boot");
    assert.equal(need("vendor_boot_c", false), "any");
    assert.equal(need("", true), "boot_run");

    const ascii = (text) => [...text].map((c) => c.charCodeAt(0));
    const le = (v, n) => Array.from({ length: n }, (_, i) => Math.floor(v / 256 ** i) % 256);
    const sparseImage = (chunks, { fileHeader = 28, chunkHeader = 12, blockSize = 4096, major = 1 } = {}) => {
      const out = [0x3a, 0xff, 0x26, 0xed, ...le(major, 2), 0, 0, ...le(fileHeader, 2), ...le(chunkHeader, 2),
        ...le(blockSize, 4), ...le(chunks.reduce((n, c) => n + c.blocks, 0), 4), ...le(chunks.length, 4), 0, 0, 0, 0];
      while (out.length < fileHeader) out.push(0);
      for (const c of chunks) {
        const head = [...le(c.type, 2), 0, 0, ...le(c.blocks, 4), ...le(c.total ?? chunkHeader + c.data.length, 4)];
        while (head.length < chunkHeader) head.push(0);
        out.push(...head, ...c.data);
      }
      return out;
    };
    const rawChunk = (magic, blocks = 2, blockSize = 4096) => {
      const data = new Array(blocks * blockSize).fill(0x6b);
      data.splice(0, magic.length, ...ascii(magic));
      return { type: 0xcac1, blocks, data };
    };
    const plain = (header) => ({ header, sparse: false });
    const sparse = (header) => ({ header, sparse: true });
    assert.deepEqual(kind(ascii("ANDROID!")), plain("boot"));
    assert.deepEqual(kind(ascii("VNDRBOOT")), plain("vendor_boot"));
    assert.deepEqual(kind(ascii("ELF")), plain("elf"));
    assert.deepEqual(kind(ascii("ANDROID")), plain("none"));
    assert.deepEqual(kind(ascii(" ANDROID!")), plain("none"));
    const boot = sparseImage([rawChunk("ANDROID!"), { type: 0xcac3, blocks: 6, data: [] }]);
    assert.deepEqual(kind(boot), sparse("boot"));
    assert.equal(fits(boot, "boot"), true);
    assert.equal(fits(boot, "boot_run"), false);
    assert.equal(fits(boot, "vendor_boot"), false);
    assert.equal(fits(ascii("ELF"), "boot"), true);
    assert.equal(fits(ascii("ELF"), "boot_run"), false);
    assert.equal(fits(ascii("ANDROID!"), "boot_run"), true);
    assert.deepEqual(kind(sparseImage([rawChunk("VNDRBOOT")])), sparse("vendor_boot"));
    assert.deepEqual(kind(sparseImage([rawChunk("ANDROID!", 1, 512)], { fileHeader: 32, chunkHeader: 16, blockSize: 512 })),
      sparse("boot"));
    const whole = sparseImage([rawChunk("ANDROID!")]);
    const headerless = [
      sparseImage([{ type: 0xcac2, blocks: 1, data: ascii("ANDR") }, rawChunk("ANDROID!")]),
      sparseImage([{ type: 0xcac3, blocks: 1, data: [] }, rawChunk("ANDROID!")]),
      sparseImage([{ type: 0xcac4, blocks: 0, data: [1, 2, 3, 4] }, rawChunk("ANDROID!")]),
      sparseImage([{ type: 0xcac1, blocks: 0, data: ascii("ANDROID!"), total: 12 }]),
      sparseImage([{ ...rawChunk("ANDROID!"), total: 12 + 4096 }]),
      sparseImage([rawChunk("ANDROID!")], { major: 2 }),
      sparseImage([rawChunk("ANDROID!", 1, 4094)], { blockSize: 4094 }),
      whole.slice(0, 20),
      whole.slice(0, 36),
      whole.slice(0, 44),
    ];
    for (const [i, image] of headerless.entries()) assert.deepEqual(kind(image), sparse("none"), `case ${i}`);
  });

  await t.test("refusals of an image of another kind: the bridge's formats and words", () => {
    const texts = read("http/reply_texts.h");
    const bodies = cppStrings(texts);
    const formats = pageConst("WRONG_IMAGE");
    for (const format of Object.values(formats)) assert.ok(bodies.includes(`{"ok":false,"error":"${format}"}`), format);
    const words = pageConst("IMAGE_WORDS");
    for (const [group, byKind] of Object.entries(words)) {
      for (const [kind, text] of Object.entries(byKind)) {
        const m = new RegExp(`constexpr char ${group}_${kind}_words\\[\\] = "([^"]*)";`).exec(texts);
        assert.ok(m, `http/reply_texts.h has no ${group}_${kind}_words`);
        assert.equal(text, m[1], `${group}.${kind}`);
      }
    }
    assert.equal((texts.match(/_words\[\] = /g) || []).length,
      Object.values(words).reduce((n, byKind) => n + Object.keys(byKind).length, 0));
  });

  await t.test("serial rule: the characters and length of is_valid_serial in phones/phone_list.cpp", () => {
    const chars = cppBlock("phones/phone_list.cpp", "bool is_serial_char(");
    const allowed = new Set();
    for (const [, from, to] of chars.matchAll(/c >= '(.)' && c <= '(.)'/g)) {
      for (let c = from.charCodeAt(0); c <= to.charCodeAt(0); c++) allowed.add(String.fromCharCode(c));
    }
    for (const [, c] of chars.matchAll(/c == '(.)'/g)) allowed.add(c);
    assert.ok(allowed.size > 62, [...allowed].join(""));
    const cap = Number(/constexpr int serial_cap = (\d+);/.exec(read("phones/phone_list.h"))[1]);
    const rule = pageConst("SERIAL_RULE");
    for (let code = 0; code < 128; code++) {
      const c = String.fromCharCode(code);
      assert.equal(rule.test(c), allowed.has(c), `character ${JSON.stringify(c)}`);
    }
    assert.equal(rule.test("A".repeat(cap)), true);
    assert.equal(rule.test("A".repeat(cap + 1)), false);
    assert.equal(rule.test(""), false);
  });

  await t.test("report groups: each label of report/report_rows.h in exactly one group, and no other label", () => {
    const bridge = cppStrings(cppBlock("report/report_rows.h", "inline constexpr RowLabel row_labels[] = {"));
    assert.ok(bridge.length > 50, bridge.join(", "));
    assert.equal(new Set(bridge).size, bridge.length, "a label listed twice in the bridge");
    const placed = pageConst("REPORT_GROUPS").flatMap(([, labels]) => labels);
    for (const label of bridge) {
      assert.equal(placed.filter((l) => l === label).length, 1, `groups placing ${JSON.stringify(label)}`);
    }
    const known = new Set(bridge);
    for (const label of placed) assert.ok(known.has(label), `the page groups ${JSON.stringify(label)}, no bridge row`);
    for (const label of Object.keys(pageConst("LABEL_WORDS"))) {
      assert.ok(known.has(label), `the page renames ${JSON.stringify(label)}, no bridge row`);
    }
  });

  await t.test("refusal texts: each as an error of http/reply_texts.h", () => {
    const bodies = cppStrings(read("http/reply_texts.h"));
    const TEXT = pageConst("TEXT");
    const texts = [...Object.values(TEXT), ...Object.keys(pageConst("SAME_REFUSAL", { TEXT }))];
    for (const text of texts) {
      assert.ok(bodies.some((b) => b.includes(`"error":"${text}"`)), text);
    }
  });
});

// The page's own declaration `NAME` (a function, class or const) as source.
function pageDeclaration(name) {
  const m = new RegExp(
    `^(?:function ${name}\\([\\s\\S]*?^\\}$|class ${name} [^\\n]*\\}$|const ${name} = (?:[^\\n]*;$|[\\s\\S]*?^[}\\]];$))`,
    "m").exec(page);
  assert.ok(m, `the page declares no ${name}`);
  return m[0];
}

// A context holding the page's declarations `names`, run in that order.
function pageContext(names) {
  const context = vm.createContext({ TextDecoder });
  for (const name of names) vm.runInContext(pageDeclaration(name), context);
  return context;
}

test("the page reads the bridge's progress lines", async (t) => {
  const context = pageContext(["NetworkFailure", "unreadable", "parseBody", "isProgressReply", "newLineReader",
    "takeLine", "readLines", "endLines", "QUIET_SHOWN_S", "MIB", "PROGRESS_TEXT", "countOf", "mbText", "kbText",
    "downloadCount", "progressView"]);
  const fn = (name) => vm.runInContext(name, context);
  const NetworkFailure = fn("NetworkFailure");

  // Reads `pieces` (the reply as it arrived) as the page does; returns the
  // progress lines and the body (as JSON text, objects of the vm's realm).
  const readPieces = (pieces) => {
    const reader = fn("newLineReader")();
    const lines = [];
    const onLine = (line) => lines.push(JSON.stringify(line));
    let text = "";
    for (const piece of pieces) {
      text += piece;
      fn("readLines")(reader, text, onLine);
    }
    const body = JSON.stringify(fn("endLines")(reader, text, onLine));
    return { lines, body };
  };

  const stream =
    '{"stage":"received","bytes":3145728}\n{"stage":"preparing","quiet_s":0}\n' +
    '{"stage":"sending","part":1,"parts":2,"kb":1020,"quiet_s":0}\n' +
    '{"stage":"text","text":"a \\"quoted\\" word\\nand a line feed","quiet_s":0}\n' +
    '{"ok":true,"partition":"boot","log":"OKAY\\n"}\n';
  const whole = readPieces([stream]);

  await t.test("lines split anywhere arrive whole, each once, and the last one is the body", () => {
    assert.equal(whole.lines.length, 4);
    assert.equal(whole.body, '{"ok":true,"partition":"boot","log":"OKAY\\n"}');
    assert.equal(JSON.parse(whole.lines[3]).text, 'a "quoted" word\nand a line feed');
    for (let cut = 0; cut <= stream.length; cut++) {
      for (const step of [1, 7]) {
        const pieces = [stream.slice(0, cut)];
        for (let at = cut; at < stream.length; at += step) pieces.push(stream.slice(at, at + step));
        assert.deepEqual(readPieces(pieces), whole, `cut at ${cut}, then every ${step}`);
      }
    }
  });

  await t.test("CR LF ends a line too, a last line without its LF is read, a line after the body is not", () => {
    assert.deepEqual(readPieces([stream.replace(/\n/g, "\r\n")]), whole);
    assert.deepEqual(readPieces([stream.slice(0, -1)]), whole);
    assert.deepEqual(readPieces([stream + '{"stage":"preparing","quiet_s":5}\n{"ok":false}\n']), whole);
  });

  await t.test("a stream that ends without a body is a lost bridge; an unreadable line is a bad reply", () => {
    for (const cut of [stream.indexOf('{"ok"'), stream.length - 5, 0]) {
      assert.throws(() => readPieces([stream.slice(0, cut)]), (e) => e instanceof NetworkFailure, `cut at ${cut}`);
    }
    for (const bad of ["<html>busy</html>", "[1,2]", "42", "null", '{"stage":"sending"']) {
      assert.throws(() => readPieces([`{"stage":"preparing","quiet_s":0}\n${bad}\n{"ok":true}\n`]),
        (e) => !(e instanceof NetworkFailure) && e.message === `Bridge ka jawab parha nahi ja saka: ${bad}`, bad);
    }
  });

  await t.test("only the progress type is read as lines", () => {
    const is = fn("isProgressReply");
    for (const type of ["application/x-ndjson", "application/x-ndjson; charset=utf-8", "Application/X-NDJSON"]) {
      assert.equal(is(type), true, type);
    }
    for (const type of ["application/json", "application/x-ndjsonx", "text/plain", "", null]) {
      assert.equal(is(type), false, String(type));
    }
  });

  // The views after each line of `lines` (objects), as plain objects.
  const views = (lines, command = "fastboot flash boot") => {
    let view = null;
    return lines.map((line) => {
      view = fn("progressView")(view, line, command);
      return JSON.parse(JSON.stringify(view));
    });
  };

  await t.test("a flash in parts: the file's size, then each part sent and written with the bar moving", () => {
    const seen = views([
      { stage: "received", bytes: 3145728 },
      { stage: "preparing", quiet_s: 0 },
      { stage: "sending", part: 1, parts: 2, kb: 1020, quiet_s: 0 },
      { stage: "writing", part: 1, parts: 2, quiet_s: 0 },
      { stage: "writing", part: 1, parts: 2, phone: "writing block 0", quiet_s: 0 },
      { stage: "writing", part: 1, parts: 2, quiet_s: 5 },
      { stage: "sending", part: 2, parts: 2, kb: 12, quiet_s: 0 },
    ]);
    assert.deepEqual(seen.map((v) => v.stage), [
      "File mil gayi (3.0 MB).",
      "File mil gayi (3.0 MB). fastboot shuru ho raha hai (fastboot flash boot)\u2026",
      "fastboot phone ko bhej raha hai: hissa 1/2 (1.0 MB)",
      "Phone likh raha hai: hissa 1/2",
      "Phone likh raha hai: hissa 1/2",
      "Phone likh raha hai: hissa 1/2",
      "fastboot phone ko bhej raha hai: hissa 2/2 (12 KB)",
    ]);
    assert.deepEqual(seen.map((v) => v.bar && v.bar.value), [null, null, 0, 0.5, 0.5, 0.5, 1]);
    assert.ok(seen.slice(2).every((v) => v.bar.max === 2 && v.bar.label === "Hisse"));
    // The phone's words stay while its stage repeats, and go with the next.
    assert.deepEqual(seen.map((v) => v.detail), ["", "", "", "", "Phone ka paigham: writing block 0",
      "Phone ka paigham: writing block 0", ""]);
  });

  await t.test("silence is told once it passes ten seconds, and goes when fastboot speaks", () => {
    const at = (stage, quiet_s, more = {}) => ({ stage, quiet_s, part: 1, parts: 1, ...more });
    const seen = views([at("preparing", 10), at("preparing", 15), at("sending", 0), at("sending", 40),
      at("text", 0, { text: "FAILED (Write to device failed (No such device))" }), at("waiting", 25)]);
    assert.deepEqual(seen.map((v) => v.quiet), [
      "",
      "Phone ne 15 s se kuch nahi kaha. Cable na hilayein: bridge 5 minute tak jawab ka intezar karta hai.",
      "",
      "Phone ne 40 s se kuch nahi kaha. Cable na hilayein: bridge 5 minute tak jawab ka intezar karta hai.",
      "",
      "Phone ne 25 s se kuch nahi kaha. Phone Fastboot mode mein layein aur cable check karein.",
    ]);
    // fastboot's own text keeps the stage it came in.
    assert.equal(seen[4].stage, "fastboot phone ko bhej raha hai: hissa 1/1");
    assert.equal(seen[4].detail, "fastboot: FAILED (Write to device failed (No such device))");
    assert.match(seen[5].stage, /^fastboot phone ka intezar kar raha hai/);
  });

  await t.test("a download: bytes of the total with its percentage, or bytes alone, and a stall", () => {
    const [known, unknown, stalled, done] = views([
      { stage: "download", bytes: 1572864, total: 3145728, quiet_s: 0 },
      { stage: "download", bytes: 1572864, total: null, quiet_s: 0 },
      { stage: "download", bytes: 1572864, total: null, quiet_s: 12 },
      { stage: "received", bytes: 3145728 },
    ]);
    assert.equal(known.stage, "Bridge file download kar raha hai\u2026");
    assert.equal(known.count, "1.5 / 3.0 MB (50 %)");
    assert.deepEqual(known.bar, { value: 1572864, max: 3145728, label: "Download" });
    assert.equal(unknown.count, "1.5 MB");
    assert.equal(unknown.bar, null);
    assert.equal(stalled.quiet, "Download 12 s se aage nahi barha (internet ya link ka server ruka hua hai).");
    assert.equal(done.count, "");
    assert.equal(done.stage, "File mil gayi (3.0 MB).");
    // A server that sends more than it announced never shows over 100 %.
    assert.match(views([{ stage: "download", bytes: 5, total: 4, quiet_s: 0 }])[0].count, /\(100 %\)$/);
  });

  await t.test("lines this page does not know, or with missing numbers, change nothing", () => {
    const [first, ...rest] = views([{ stage: "sending", part: 1, parts: 3, kb: 4, quiet_s: 0 },
      { stage: "verifying", quiet_s: 0 }, { stage: "writing", part: "1", parts: 3 }, { stage: "sending", part: 4, parts: 3 },
      { stage: "download", total: 5 }, { stage: "text" }, {}]);
    for (const view of rest) assert.deepEqual(view, first);
  });

  await t.test("every stage the bridge sends is one the page shows", () => {
    const sources = ["actions/flash_progress.cpp", "actions/flash_reply.cpp", "actions/download_command.cpp"]
      .map(read).join("\n");
    const named = new Set([...sources.matchAll(/\\"stage\\":\\"([a-z_]+)\\"/g)].map((m) => m[1]));
    // The name of the quiet or stage line written with %s.
    for (const m of read("actions/flash_progress.cpp").matchAll(/name = "([a-z_]+)";/g)) named.add(m[1]);
    named.delete("text");
    assert.ok(named.size >= 7, [...named].join(", "));
    for (const stage of named) {
      const [view] = views([{ stage, bytes: 1, total: 2, part: 1, parts: 1, kb: 1, quiet_s: 0 }]);
      assert.ok(view.stage, `the page shows nothing for "${stage}"`);
    }
  });
});
