// Four common RCON clients against drovekeeper-sim in real time: each logs
// in, sends the reload and receives exactly the plug-in's reply, and each is
// refused a wrong password; the simulator's console shows every refusal.
// With 300 entries, each takes the default status reply (one packet) whole,
// and `rcon`, gathering its packets, takes the full reply of several packets
// whole (the README's table of clients).
//
//   SIM=build/bin/drovekeeper-sim CONFIG=examples/config.json node --test clients.test.mjs
import { spawn } from "node:child_process";
import { once } from "node:events";
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";
import assert from "node:assert/strict";

import { RCON as UtilRcon } from "minecraft-server-util";
import NodeRcon from "rcon";
import { Rcon as ClientRcon } from "rcon-client";
import srcds from "rcon-srcds";

const SrcdsRcon = srcds.default;
const host = "127.0.0.1";
const password = "s3cret";
const reloaded = "重新加载配置";
// Each refused login slows the next one from this address by a second.
const timeout = 10000;
// A client that never sees the answer it waits for hangs: fail it instead.
const limit = { timeout: 20000 };

// The example configuration (5 entries) and enough more for 300, whose full
// status reply takes many packets.
const extraEntries = 295;
let sim;
let port;
let output = "";  // the simulator's console so far
let scratch;

before(async () => {
  assert.ok(process.env.SIM && process.env.CONFIG, "SIM and CONFIG must be set");
  const config = JSON.parse(readFileSync(process.env.CONFIG, "utf8"));
  const [example] = Object.values(config.SpawnDino);
  for (let i = 0; i < extraEntries; ++i) {
    config.SpawnDino[`Blueprint'/Game/Fauna/Extra/Extra${i}_BP.Extra${i}_BP'`] = example;
  }
  scratch = mkdtempSync(join(tmpdir(), "rcon-clients-"));
  const file = join(scratch, "config.json");
  writeFileSync(file, JSON.stringify(config));
  sim = spawn(process.env.SIM, ["--config", file, "--rcon-port", "0",
                                "--rcon-password", password],
              { stdio: ["ignore", "pipe", "inherit"] });
  sim.stdout.setEncoding("utf8");
  port = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no RCON port in: ${output}`)), 20000);
    sim.stdout.on("data", (chunk) => {
      output += chunk;
      const found = output.match(/RCON listening on 127\.0\.0\.1:(\d+)/);
      if (found) {
        clearTimeout(timer);
        resolve(Number(found[1]));
      }
    });
    sim.once("exit", (code) => reject(new Error(`drovekeeper-sim exited ${code}: ${output}`)));
  });
});

after(async () => {
  if (sim.exitCode === null) {
    sim.kill("SIGTERM");
    await once(sim, "exit");
  }
  rmSync(scratch, { recursive: true, force: true });
});

// Each client: log in with `secret`, run `command`, hang up; the reply.
const clients = {
  "rcon-client": async (secret, command) => {
    const rcon = await ClientRcon.connect({ host, port, password: secret, timeout });
    rcon.on("error", () => {});
    try {
      return await rcon.send(command);
    } finally {
      await rcon.end();
    }
  },
  "rcon-srcds": async (secret, command) => {
    const rcon = new SrcdsRcon({ host, port, encoding: "utf8", timeout });
    try {
      await rcon.authenticate(secret);
      return await rcon.execute(command);
    } finally {
      await rcon.disconnect().catch(() => {});
    }
  },
  // With `gather`, the packets of the reply are joined until none has come
  // for half a second; without, the first is the reply.
  rcon: (secret, command, gather = false) => new Promise((resolve, reject) => {
    const rcon = new NodeRcon(host, port, secret, { tcp: true, challenge: false });
    const timer = setTimeout(() => reject(new Error("timed out")), timeout);
    let quiet;
    let reply = "";
    const finish = (settle, value) => {
      clearTimeout(timer);
      clearTimeout(quiet);
      rcon.disconnect();
      settle(value);
    };
    rcon.on("auth", () => rcon.send(command))
        .on("response", (part) => {
          if (!gather) return finish(resolve, part);
          reply += part;
          clearTimeout(quiet);
          quiet = setTimeout(() => finish(resolve, reply), 500);
        })
        .on("error", (error) => finish(reject, error))
        .on("end", () => finish(reject, new Error("connection closed")));
    rcon.connect();
  }),
  "minecraft-server-util": async (secret, command) => {
    const rcon = new UtilRcon();
    try {
      await rcon.connect(host, port, { timeout });
      await rcon.login(secret, { timeout });
      return await rcon.execute(command);
    } finally {
      rcon.close();
    }
  },
};

for (const [name, run] of Object.entries(clients)) {
  test(`${name} reloads`, limit, async () => {
    assert.equal(await run(password, "Drovekeeper.reload"), reloaded);
  });
}

// Whether a status reply of `entries` entries arrived whole: the default
// reply's first line, compact lines and the line on the entries left out,
// or with --all one full line per entry.
function Whole(reply, entries, all) {
  const lines = reply.split("\n");
  if (!lines[0].startsWith("server time ")) return false;
  if (all) {
    return lines.length === entries + 1 && lines.slice(1).every((line) =>
      /^SpawnDinoX? Blueprint'[^']*': .*; failed \d+$/.test(line));
  }
  const last = lines.at(-1).match(/^(\d+) entries left out: Drovekeeper\.status --page 2 /);
  const shown = lines.slice(1, -1);
  return Buffer.byteLength(reply, "utf8") <= 4000 && last !== null &&
    Number(last[1]) + shown.length === entries && shown.every((line) =>
      /^.+ \(SpawnDinoX? [^)]*\): next due .*; failed \d+(; .*)?$/.test(line));
}

for (const name of Object.keys(clients)) {
  test(`${name} takes the default status reply of 300 entries whole`, limit, async () => {
    const reply = await clients[name](password, "Drovekeeper.status");
    assert.ok(Whole(reply, extraEntries + 5, false), reply);
  });
}

test("rcon takes the full status reply of 300 entries whole", limit, async () => {
  const reply = await clients.rcon(password, "Drovekeeper.status --all", true);
  assert.ok(Buffer.byteLength(reply, "utf8") > 4096 * 10);
  assert.ok(Whole(reply, extraEntries + 5, true), reply.slice(0, 2000));
});

test("an unknown command is answered as such", limit, async () => {
  assert.equal(await clients["rcon-client"](password, "Drovekeeper.nothing"),
               "unknown command: Drovekeeper.nothing");
});

// Last: refusals slow down later logins.
for (const [name, run] of Object.entries(clients)) {
  test(`${name} is refused a wrong password`, limit, async () => {
    await assert.rejects(run("wrong", "Drovekeeper.reload"));
  });
}

test("the console shows each refused login", async () => {
  const refusals = () => output.match(/RCON 127\.0\.0\.1:\d+: login refused: wrong password/g);
  for (let i = 0; i < 50 && (refusals() ?? []).length < 4; ++i) {
    await new Promise((resolve) => setTimeout(resolve, 100));
  }
  assert.equal((refusals() ?? []).length, Object.keys(clients).length, output);
});
