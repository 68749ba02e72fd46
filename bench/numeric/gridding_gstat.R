# gstat's ordinary kriging on the samples bench/numeric/gridding_bench wrote:
# the ten nearest samples, a power variogram of exponent 1.5 (the covariance
# 9999 - h^1.5 of KriginGrid gives the same weights), the same N x N cell
# centres of [0, 1000]^2. Only the prediction is timed; CPU seconds are what
# compare with the benchmark's CPU column on a shared machine.
#
# Usage: Rscript gridding_gstat.R [directory of gridding_samples_*.csv] [N ...]
suppressPackageStartupMessages({
  library(sp)
  library(gstat)
})
args <- commandArgs(trailingOnly = TRUE)
dir <- if (length(args) >= 1) args[1] else "."
sizes <- if (length(args) >= 2) as.integer(args[-1]) else c(500L, 2000L)
model <- vgm(psill = 1, model = "Pow", range = 1.5)
for (n in c(10000L, 200000L)) {
  s <- read.csv(file.path(dir, sprintf("gridding_samples_%d.csv", n)))
  coordinates(s) <- ~x + y
  for (N in sizes) {
    g <- (seq_len(N) - 0.5) * 1000 / N
    nodes <- expand.grid(x = g, y = g)
    coordinates(nodes) <- ~x + y
    t <- system.time(p <- krige(z ~ 1, s, nodes, model = model, nmax = 10, debug.level = 0))
    cpu <- t[["user.self"]] + t[["sys.self"]]
    cat(sprintf("gstat samples=%d nodes=%dx%d cpu=%.2f s elapsed=%.2f s nodes/s=%.0f mean=%.4f\n",
                n, N, N, cpu, t[["elapsed"]], N * N / cpu, mean(p$var1.pred)))
  }
}
