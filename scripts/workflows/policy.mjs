// Holds the CI workflow named on the command line to the project's own rules, which neither the schema nor
// actionlint knows: actions on majors that still run on GitHub's runners, no credentials left in a checkout,
// one run per change, a players' build that nothing else can hold up, and a release on tags with the zip's
// SHA-256. Prints every finding and exits 1 on any.
import { readFileSync } from "node:fs";
import { parse } from "yaml";

// The oldest major of each action that GitHub's runners still run (Node 20 actions were removed in
// September 2026). An action missing here is a finding, so that its major is decided when it is added.
const minimumMajors = {
  "actions/checkout": 5,
  "actions/upload-artifact": 6,
  "actions/download-artifact": 5,
};

const path = process.argv[2];
const workflow = parse(readFileSync(path, "utf8"));
const findings = [];
const jobs = workflow.jobs ?? {};
const steps = (job) => job?.steps ?? [];
const scriptOf = (job) => steps(job).map((step) => step.run ?? "").join("\n");
const needsOf = (job) => [job?.needs ?? []].flat();

for (const [name, job] of Object.entries(jobs)) {
  for (const step of steps(job)) {
    if (!step.uses) continue;
    const [action, version] = step.uses.split("@");
    const minimum = minimumMajors[action];
    const major = Number(/^v(\d+)/.exec(version ?? "")?.[1]);
    if (minimum === undefined) {
      findings.push(`${name}: ${action} has no minimum major in policy.mjs`);
    } else if (!(major >= minimum)) {
      findings.push(`${name}: ${step.uses} is older than v${minimum}`);
    }
    if (action === "actions/checkout" && step.with?.["persist-credentials"] !== false) {
      findings.push(`${name}: a checkout keeps the token in .git/config (set persist-credentials: false)`);
    }
  }
}

if (!workflow.concurrency?.group) {
  findings.push("no concurrency group: a pull request from this repository would run everything twice");
}

const players = jobs.players;
if (!players) {
  findings.push("no players job");
} else {
  if (needsOf(players).length > 0) findings.push(`players waits for ${needsOf(players).join(", ")}`);
  if (!/--preset windows-x64(\s|$)/m.test(scriptOf(players)) || /windows-x64-dev/.test(scriptOf(players))) {
    findings.push("players must build the windows-x64 preset alone, not after the developer build");
  }
  if (!/check_imports\.cmake/.test(scriptOf(players))) findings.push("players does not check the imports");
}

const release = Object.entries(jobs).find(([, job]) => /refs\/tags\/v/.test(String(job.if ?? "")));
if (!release) {
  findings.push("no release job on tags v<version>");
} else {
  const [name, job] = release;
  if (!needsOf(job).includes("players")) findings.push(`${name} does not release what the players job built`);
  if (job.permissions?.contents !== "write") findings.push(`${name} needs contents: write to create a release`);
  for (const needed of ["gh release create", "sha256sum", "GITHUB_REF_NAME"]) {
    if (!scriptOf(job).includes(needed)) findings.push(`${name} does not run ${needed}`);
  }
}

for (const finding of findings) console.error(`${path}: ${finding}`);
process.exit(findings.length === 0 ? 0 : 1);
