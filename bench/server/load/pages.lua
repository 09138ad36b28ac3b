-- Result pages only, the three kinds in turn.
local paths = {
    "/game/quibbix/GameResult.asp?data=0",
    "/game/quibbix/GameResult.asp?data=1",
    "/game/quibbix/GameResult.asp?data=2",
}
local n = 0
request = function()
    n = n + 1
    return wrk.format("GET", paths[n % #paths + 1])
end
