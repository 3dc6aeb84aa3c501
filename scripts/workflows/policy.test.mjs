// Proves each rule of policy.mjs: the CI workflow passes, and each broken copy of it is reported by the rule it
// breaks. Prints one line per copy and exits 1 when the workflow fails or a copy goes unreported.
import { readFileSync } from "node:fs";
import { parse } from "yaml";

import { findingsOf } from "./policy.mjs";

const path = process.argv[2];
const workflow = parse(readFileSync(path, "utf8"));
const step = (w, job, test) => w.jobs[job].steps.find(test);
const uses = (action) => (candidate) => candidate.uses?.startsWith(`${action}@`);
const runs = (text) => (candidate) => candidate.run?.includes(text);
const release = Object.keys(workflow.jobs).find((name) => /refs\/tags\/v/.test(workflow.jobs[name].if ?? ""));
const zipJob = Object.keys(workflow.jobs).find((name) =>
  workflow.jobs[name].steps.some((candidate) => candidate.with?.name === "players-zip" && candidate.uses),
);

// Each copy: what it breaks, how, and what the policy must say of it.
const brokenCopies = [
  ["download-artifact on a Node 20 major", (w) => (step(w, release, uses("actions/download-artifact")).uses = "actions/download-artifact@v6"), "older than v7"],
  ["upload-artifact on a Node 20 major", (w) => (step(w, zipJob, uses("actions/upload-artifact")).uses = "actions/upload-artifact@v5"), "older than v6"],
  ["an action the policy has not decided on", (w) => w.jobs.linux.steps.push({ uses: "actions/cache@v5" }), "actions/cache has no minimum major"],
  ["a checkout that keeps the token", (w) => delete step(w, "linux", uses("actions/checkout")).with, "keeps the token"],
  ["no concurrency group", (w) => delete w.concurrency, "no concurrency group"],
  ["a group keyed on the branch's or tag's short name", (w) => (w.concurrency.group = "${{ github.workflow }}-${{ github.head_ref || github.ref_name }}"), "shares the tag's concurrency group"],
  ["a group keyed on the full ref alone", (w) => (w.concurrency.group = "${{ github.workflow }}-${{ github.ref }}"), "run in two groups"],
  ["a group keyed on the ref and pull requests' branches", (w) => (w.concurrency.group = "${{ github.workflow }}-${{ github.event_name == 'pull_request' && format('refs/heads/{0}', github.head_ref) || github.ref }}"), "forkPullRequestFromMain run shares the mainPush run's"],
  ["a tag's group shared by its next push", (w) => (w.concurrency.group = w.concurrency.group.replace("format('{0}/run/{1}', github.ref, github.run_id)", "github.ref")), "sameTagAgain run shares the tag's"],
  ["a tag's run cancelled by the next", (w) => (w.concurrency["cancel-in-progress"] = true), "cancels the first"],
  ["a zip that no test ran", (w) => (step(w, zipJob, runs("cmake --workflow")).run = "cmake --build --preset windows-x64 --target package"), "did not run"],
  ["a module linked against the stand-in", (w) => delete step(w, zipJob, runs("cmake --workflow")).env, "KORVINDEL_HOST_LIBRARY"],
  ["no import check", (w) => (step(w, zipJob, runs("check_imports")).run = step(w, zipJob, runs("check_imports")).run.replace("check_imports.cmake", "x.cmake")), "imports"],
  ["no SHA-256 written", (w) => (step(w, zipJob, runs("Get-FileHash")).run = step(w, zipJob, runs("Get-FileHash")).run.replace("Get-FileHash", "Get-Item")), "SHA-256"],
  ["no job that keeps the zip", (w) => (step(w, zipJob, (c) => c.with?.name === "players-zip").with.name = "zip"), "no job keeps the players' zip"],
  ["a release that waits for nothing", (w) => delete w.jobs[release].needs, "does not release what"],
  ["a release that does not wait for Linux", (w) => (w.jobs[release].needs = [zipJob]), "does not wait for the Linux suite"],
  ["no release job", (w) => delete w.jobs[release], "no release job"],
  ["a release that cannot write", (w) => (w.jobs[release].permissions.contents = "read"), "contents: write"],
  ["a zip released unchecked", (w) => (step(w, release, runs("sha256sum")).run = step(w, release, runs("sha256sum")).run.replace("sha256sum -c", "sha256sum")), "sha256sum -c"],
  ["no attestation", (w) => (w.jobs[release].steps = w.jobs[release].steps.filter((c) => !uses("actions/attest-build-provenance")(c))), "does not attest"],
  ["an attesting job without the token", (w) => delete w.jobs[release].permissions["id-token"], "without id-token: write"],
  ["every job may sign", (w) => (w.permissions = { contents: "read", attestations: "write" }), "grants attestations: write to every job"],
  ["the build job may sign", (w) => (w.jobs[zipJob].permissions = { "id-token": "write" }), `${zipJob} holds id-token: write`],
];

let failed = false;
const own = findingsOf(workflow);
if (own.length > 0) {
  failed = true;
  console.error(`FAIL: ${path} itself breaks the policy:\n  ${own.join("\n  ")}`);
}
for (const [what, breakIt, expected] of brokenCopies) {
  const copy = structuredClone(workflow);
  breakIt(copy);
  const findings = findingsOf(copy);
  if (findings.some((finding) => finding.includes(expected))) {
    console.log(`as expected: ${what} is reported`);
  } else {
    failed = true;
    console.error(`FAIL: ${what} is not reported as '${expected}'; findings: ${findings.join("; ") || "none"}`);
  }
}
process.exit(failed ? 1 : 0);
