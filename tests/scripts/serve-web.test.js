// scripts/serve_web.py on its own: the bridge's Host rule, files only (no
// folder listings), and connections that send nothing closed in the end,
// with a bounded number of threads however many there are.
"use strict";

const { test, before, after } = require("node:test");
const assert = require("node:assert/strict");
const { spawn } = require("node:child_process");
const fs = require("node:fs");
const net = require("node:net");
const path = require("node:path");

const repoRoot = path.resolve(__dirname, "..", "..");
const PORT = 8081;
const page = fs.readFileSync(path.join(repoRoot, "web", "adb.html"));

let server;

before(async () => {
  server = spawn("python3", [path.join(repoRoot, "scripts", "serve_web.py"), String(PORT)], {
    stdio: ["ignore", "pipe", "inherit"],
  });
  let said = "";
  server.stdout.on("data", (c) => (said += c));
  await until(() => said.includes("\n") || server.exitCode !== null, "the server starting");
  assert.equal(said, "ready\n");
});

after(() => {
  server.kill("SIGKILL");
});

async function until(check, what, ms = 60000) {
  for (const end = Date.now() + ms; Date.now() < end; ) {
    if (await check()) return;
    await new Promise((r) => setTimeout(r, 50));
  }
  assert.fail("never happened: " + what);
}

// Sends `raw` on a connection of its own and returns everything the server
// sent until it closed, split into status, head and body.
function exchange(raw) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(PORT, "127.0.0.1");
    const chunks = [];
    socket.on("connect", () => socket.write(raw));
    socket.on("data", (c) => chunks.push(c));
    socket.on("error", reject);
    socket.on("close", () => {
      const all = Buffer.concat(chunks);
      const blank = all.indexOf("\r\n\r\n");
      const head = all.subarray(0, blank).toString("latin1");
      resolve({ status: Number(head.split(" ")[1]), head, body: all.subarray(blank + 4) });
    });
  });
}

function request(target, headerLines, method = "GET") {
  return exchange(`${method} ${target} HTTP/1.1\r\n${headerLines.map((h) => h + "\r\n").join("")}\r\n`);
}

test("Host: the loopback names alone or with the served port; anything else is refused with a small body", async () => {
  for (const host of ["127.0.0.1", "localhost", `127.0.0.1:${PORT}`, `localhost:${PORT}`]) {
    const reply = await request("/adb.html", [`Host: ${host}`]);
    assert.equal(reply.status, 200, host);
    assert.ok(reply.body.equals(page), host);
  }
  // An HTTP/1.0 client may send no Host at all, as the bridge allows too.
  assert.equal((await exchange("GET /adb.html HTTP/1.0\r\n\r\n")).status, 200);

  for (const host of [
    "rebound.example",
    `rebound.example:${PORT}`,
    "localhost:8080",
    `LOCALHOST:${PORT}`,
    `127.0.0.1:${PORT}.rebound.example`,
    "[::1]",
    "",
  ]) {
    const reply = await request("/adb.html", [`Host: ${host}`]);
    assert.equal(reply.status, 403, host);
    assert.ok(reply.body.length < 64 && !reply.body.includes("<"), host);
  }
  const twice = await request("/adb.html", ["Host: localhost", "Host: rebound.example"]);
  assert.equal(twice.status, 403);
  // The redirect at / and HEAD follow the same rule.
  assert.equal((await request("/", ["Host: rebound.example"])).status, 403);
  const head = await request("/adb.html", ["Host: rebound.example"], "HEAD");
  assert.equal(head.status, 403);
  assert.equal(head.body.length, 0);
});

test("files only: no folder is listed or redirected to, / still opens the page", async () => {
  const root = await request("/", ["Host: localhost"]);
  assert.equal(root.status, 302);
  assert.match(root.head, /\r\nLocation: \/adb\.html\r\n/i);
  for (const target of ["/.", "/./", "/%2e/", "/../", "/./?x=1", "/adb.html/", "/web/", "/web"]) {
    for (const method of ["GET", "HEAD"]) {
      const reply = await request(target, ["Host: localhost"], method);
      assert.equal(reply.status, 404, `${method} ${target}`);
      assert.ok(!reply.body.includes("adb.html"), `${method} ${target} names a file`);
    }
  }
});

function threadsOf(pid) {
  return Number(/\nThreads:\s+(\d+)/.exec(fs.readFileSync(`/proc/${pid}/status`, "utf8"))[1]);
}

test("connections that send nothing, or half a request, are closed, and hold a bounded number of threads", async () => {
  const cap = 32;
  const sockets = [];
  const closed = [];
  for (let i = 0; i < cap + 16; i++) {
    const socket = net.connect(PORT, "127.0.0.1");
    let isClosed = false;
    socket.on("error", () => {});
    socket.on("close", () => (isClosed = true));
    // Every third one sends the start of a request and then nothing.
    if (i % 3 === 0) socket.on("connect", () => socket.write("GET /adb.html HTTP/1.1\r\nHost: localhost\r\n"));
    sockets.push(socket);
    closed.push(() => isClosed);
  }
  try {
    // The server takes up to its cap of them at once, and no more.
    await until(() => threadsOf(server.pid) >= cap, "the server serving its cap of connections");
    assert.ok(threadsOf(server.pid) <= cap + 2, `threads: ${threadsOf(server.pid)}`);
    await until(() => closed.every((c) => c()), "every idle connection closed by the server", 120000);
    // The places are free again.
    const reply = await request("/adb.html", ["Host: localhost"]);
    assert.equal(reply.status, 200);
    await until(() => threadsOf(server.pid) <= 2, "the connections' threads ended");
  } finally {
    for (const socket of sockets) socket.destroy();
  }
});
