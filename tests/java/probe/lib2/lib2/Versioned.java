package lib2;

/** The base version of a class that the multi-release jar also has in version 9. */
public class Versioned {
    public String toString() {
        return "base";
    }
}
