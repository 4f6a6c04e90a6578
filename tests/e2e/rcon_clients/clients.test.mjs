// Four common RCON clients against drovekeeper-sim in real time: each logs
// in, sends the reload and receives exactly the plug-in's reply, and each is
// refused a wrong password; the simulator's console shows every refusal.
// A status reply of several packets shows what each client makes of a reply
// longer than one packet (the README's table of clients).
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

// The example configuration and enough entries more that a status reply
// takes three packets.
const extraEntries = 40;
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
  rcon: (secret, command) => new Promise((resolve, reject) => {
    const rcon = new NodeRcon(host, port, secret, { tcp: true, challenge: false });
    const timer = setTimeout(() => reject(new Error("timed out")), timeout);
    const finish = (settle, value) => {
      clearTimeout(timer);
      rcon.disconnect();
      settle(value);
    };
    rcon.on("auth", () => rcon.send(command))
        .on("response", (reply) => finish(resolve, reply))
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

// What a reply of several packets reaches the caller as: whole, cut at the
// end of its first packet, or with the packets' headers inside the text.
function Received(reply, entries) {
  const lines = reply.split("\n");
  const whole = lines.length === entries + 1 && lines.slice(1).every((line) =>
    /^SpawnDinoX? Blueprint'[^']*': .*; failed \d+$/.test(line));
  if (whole) return "whole";
  if (/[\u0000-\u0009\u000b-\u001f]/.test(reply)) return "with packet headers inside";
  if (Buffer.byteLength(reply, "utf8") === 4096) return "its first 4,096 bytes";
  return `something else (${Buffer.byteLength(reply, "utf8")} bytes)`;
}

const longReply = {
  "rcon-client": "its first 4,096 bytes",
  "rcon-srcds": "with packet headers inside",
  rcon: "its first 4,096 bytes",
  "minecraft-server-util": "its first 4,096 bytes",
};
for (const [name, expected] of Object.entries(longReply)) {
  test(`${name} takes a reply of several packets ${expected}`, limit, async () => {
    const reply = await clients[name](password, "Drovekeeper.status");
    assert.equal(Received(reply, extraEntries + 5), expected, reply);
  });
}

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
