// Holds the CI workflow to the project's own rules, which neither the schema nor actionlint knows: actions on
// majors that run on Node 24, no credentials left in a checkout, one run per change and none that cancels a
// tag's, a players' zip made in the very job whose tests ran its module, and a release of that zip with its
// SHA-256 checked and its provenance attested by the one job that may sign. Run on a file, prints every
// finding and exits 1 on any; policy.test.mjs proves each rule on a broken copy.
import { readFileSync } from "node:fs";
import { fileURLToPath } from "node:url";
import { parse } from "yaml";

import { valueFor } from "./expressions.mjs";

// The oldest major of each action that runs on Node 24 (`runs.using` in its action.yml): GitHub's runners
// stopped running Node 20 actions in September 2026. An action missing here is a finding, so that its major
// is decided when it is added.
export const minimumMajors = {
  "actions/checkout": 5,
  "actions/upload-artifact": 6,
  "actions/download-artifact": 7,
  "actions/attest-build-provenance": 3,
};

// The events the concurrency group is held to: a tag's push, and runs whose names could be taken for it.
const fork = { full_name: "someone/fork" };
const repository = "owner/korvindel";
const events = {
  tag: { event_name: "push", ref: "refs/tags/v1.0", ref_name: "v1.0", head_ref: "", run_id: 101 },
  sameTagAgain: { event_name: "push", ref: "refs/tags/v1.0", ref_name: "v1.0", head_ref: "", run_id: 102 },
  branchPush: { event_name: "push", ref: "refs/heads/v1.0", ref_name: "v1.0", head_ref: "" },
  ownPullRequest: {
    event_name: "pull_request",
    ref: "refs/pull/7/merge",
    ref_name: "7/merge",
    head_ref: "v1.0",
    event: { pull_request: { number: 7, head: { repo: { full_name: repository } } } },
  },
  forkPullRequest: {
    event_name: "pull_request",
    ref: "refs/pull/8/merge",
    ref_name: "8/merge",
    head_ref: "v1.0",
    event: { pull_request: { number: 8, head: { repo: fork } } },
  },
  forkPullRequestFromMain: {
    event_name: "pull_request",
    ref: "refs/pull/9/merge",
    ref_name: "9/merge",
    head_ref: "main",
    event: { pull_request: { number: 9, head: { repo: fork } } },
  },
  mainPush: { event_name: "push", ref: "refs/heads/main", ref_name: "main", head_ref: "" },
};
const contextOf = (event) => ({ github: { workflow: "CI", repository, run_id: 100, ...events[event] } });
const fromFork = (event) => events[event].event?.pull_request?.head?.repo === fork;

const steps = (job) => job?.steps ?? [];
const scriptOf = (job) => steps(job).map((step) => step.run ?? "").join("\n");
const needsOf = (job) => [job?.needs ?? []].flat();
const usesOf = (job, action) => steps(job).filter((step) => step.uses?.split("@")[0] === action);
const grants = (permissions, scope) => permissions === "write-all" || permissions?.[scope] === "write";

function actionRules(jobs, findings) {
  for (const [name, job] of Object.entries(jobs)) {
    for (const step of steps(job)) {
      if (!step.uses) continue;
      const [action, version] = step.uses.split("@");
      const minimum = minimumMajors[action];
      const major = Number(/^v(\d+)/.exec(version ?? "")?.[1]);
      if (minimum === undefined) {
        findings.push(`${name}: ${action} has no minimum major in policy.mjs`);
      } else if (!(major >= minimum)) {
        findings.push(`${name}: ${step.uses} is older than v${minimum}, the first on Node 24`);
      }
      if (action === "actions/checkout" && step.with?.["persist-credentials"] !== false) {
        findings.push(`${name}: a checkout keeps the token in .git/config (set persist-credentials: false)`);
      }
    }
  }
}

function concurrencyRules(concurrency, findings) {
  if (!concurrency?.group) {
    findings.push("no concurrency group: a pull request from this repository would run everything twice");
    return;
  }
  const groupOf = (event) => String(valueFor(concurrency.group, contextOf(event)));
  // A pending run replaces one pending in its group whatever cancel-in-progress says: a tag's run must be
  // alone in its group.
  for (const event of Object.keys(events).filter((name) => name !== "tag")) {
    if (groupOf(event) === groupOf("tag")) {
      findings.push(`a ${event} run shares the tag's concurrency group ${groupOf("tag")} and can cancel it`);
    }
  }
  for (const forked of Object.keys(events).filter(fromFork)) {
    for (const own of Object.keys(events).filter((name) => !fromFork(name))) {
      if (groupOf(forked) === groupOf(own)) {
        findings.push(`a ${forked} run shares the ${own} run's concurrency group ${groupOf(own)} and can cancel it`);
      }
    }
  }
  if (valueFor(concurrency["cancel-in-progress"] ?? false, contextOf("tag")) !== false) {
    findings.push("a second run of a tag cancels the first (cancel-in-progress must be false for tags)");
  }
  if (groupOf("branchPush") !== groupOf("ownPullRequest")) {
    findings.push("a push and the pull request from its branch run in two groups, so everything runs twice");
  }
}

// The job that keeps the players' zip, and the rules for it: it builds, tests and packages in one workflow.
function zipRules(jobs, findings) {
  const entry = Object.entries(jobs).find(([, job]) =>
    usesOf(job, "actions/upload-artifact").some((step) => step.with?.name === "players-zip"),
  );
  if (!entry) {
    findings.push("no job keeps the players' zip (an upload named players-zip)");
    return undefined;
  }
  const [name, job] = entry;
  const script = scriptOf(job);
  if (!/cmake --workflow --preset windows-x64(\s|$)/m.test(script)) {
    findings.push(`${name} keeps a zip that its own tests did not run (no cmake --workflow --preset windows-x64)`);
  }
  if (!steps(job).some((step) => step.env?.KORVINDEL_HOST_LIBRARY)) {
    findings.push(`${name} does not link the module against the host's import library (KORVINDEL_HOST_LIBRARY)`);
  }
  for (const [needed, what] of [
    ["check_imports.cmake", "the module's imports"],
    ["check_package.cmake", "the zip's layout"],
    ["Get-FileHash", "the zip's SHA-256"],
  ]) {
    if (!script.includes(needed)) findings.push(`${name} does not check or write ${what} (${needed})`);
  }
  return name;
}

function releaseRules(workflow, jobs, zipJob, findings) {
  const release = Object.entries(jobs).find(([, job]) => /refs\/tags\/v/.test(String(job.if ?? "")));
  if (!release) {
    findings.push("no release job on tags v<version>");
    return;
  }
  const [name, job] = release;
  if (zipJob && !needsOf(job).includes(zipJob)) {
    findings.push(`${name} does not release what the ${zipJob} job built and tested`);
  }
  if (!needsOf(job).includes("linux")) findings.push(`${name} does not wait for the Linux suite (.ci/run)`);
  if (job.permissions?.contents !== "write") findings.push(`${name} needs contents: write to create a release`);
  for (const needed of ["gh release create", "sha256sum -c", "GITHUB_REF_NAME"]) {
    if (!scriptOf(job).includes(needed)) findings.push(`${name} does not run ${needed}`);
  }
  if (usesOf(job, "actions/attest-build-provenance").length === 0) {
    findings.push(`${name} does not attest the zip's provenance (actions/attest-build-provenance)`);
  }
  for (const scope of ["id-token", "attestations"]) {
    if (!grants(job.permissions, scope)) findings.push(`${name} cannot attest without ${scope}: write`);
    if (grants(workflow.permissions, scope)) findings.push(`the workflow grants ${scope}: write to every job`);
    for (const [other, otherJob] of Object.entries(jobs)) {
      if (other !== name && grants(otherJob.permissions, scope)) {
        findings.push(`${other} holds ${scope}: write, which only the attesting job needs`);
      }
    }
  }
}

/// Every finding for a parsed workflow, one sentence each.
export function findingsOf(workflow) {
  const findings = [];
  const jobs = workflow.jobs ?? {};
  actionRules(jobs, findings);
  concurrencyRules(workflow.concurrency, findings);
  releaseRules(workflow, jobs, zipRules(jobs, findings), findings);
  return findings;
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const path = process.argv[2];
  const findings = findingsOf(parse(readFileSync(path, "utf8")));
  for (const finding of findings) console.error(`${path}: ${finding}`);
  process.exit(findings.length === 0 ? 0 : 1);
}
